#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <QTemporaryDir>
#include <climits>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "Clips.h"
#include "CommandRun.h"
#include "Damage.h"
#include "MovieProbe.h"
#include "Processes.h"
#include "errors/Texts.h"
#include "process/StagedFile.h"

namespace pelliqo {
namespace {

namespace fs = std::filesystem;

using Outcome = test::CommandRun;

Outcome process(std::vector<std::string> args) {
    args.insert(args.begin(), "process");
    return test::runCommand(args);
}

class ProcessCommand : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(test::makeClip(
            "-f lavfi -i testsrc2=size=320x180:rate=10:duration=1 -c:v libx264 -pix_fmt yuv420p",
            clip));
    }
    std::string longerClip() {
        const std::string longer = dir.filePath("longer.mp4").toStdString();
        EXPECT_TRUE(test::makeClip(
            "-f lavfi -i testsrc2=size=640x360:rate=30:duration=20 -c:v libx264 -preset ultrafast",
            longer));
        return longer;
    }
    // The hidden files an export to out writes into.
    std::vector<fs::path> staged() const {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(dir.path().toStdString()))
            if (StagedFile::isStaged(entry.path())) found.push_back(entry.path());
        return found;
    }
    bool stagedBeyond(std::uintmax_t bytes) const {
        const auto files = staged();
        return !files.empty() && fs::file_size(files[0]) > bytes;
    }

    QTemporaryDir dir;
    std::string clip = dir.filePath("clip.mp4").toStdString();
    std::string out = dir.filePath("out.mp4").toStdString();
};

TEST_F(ProcessCommand, ExportsAndReportsProgressAsLinesWhenNotOnATerminal) {
    const Outcome o = process({"--background", "color", "--quality", "fast", clip, out});
    ASSERT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(o.out, out + "\n");
    EXPECT_NE(o.err.find("100%\n"), std::string::npos);
    EXPECT_EQ(o.err.find('\r'), std::string::npos);
    EXPECT_TRUE(fs::exists(out));
}

// Scripts hand movies on through pipes, both ways.
TEST_F(ProcessCommand, AMovieGoesThroughPipes) {
    const test::ProgramRun piped =
        test::runThroughPipes("process --background none /dev/stdin /dev/stdout", clip, out);
    ASSERT_EQ(piped.code, 0) << piped.output;
    EXPECT_EQ(test::frameTimes(out).size(), 10u);
    EXPECT_TRUE(test::isFinishedRecording(out));  // in fragments, and nothing after them

    // A copy that fills the temporary folder says it was that folder's disk, and goes.
    const std::string temporary = dir.filePath("tmp").toStdString();
    const auto full = test::runOnSmallDisk(
        temporary, "8k",
        "cat \"$3\" | TMPDIR=\"$1\" \"$2\" process --background none - \"$4\"; "
        "echo \"exit $?\"; ls -A \"$1\"",
        {PELLIQO_EXECUTABLE, clip, out});
    if (!full) return;  // no private file system here
    EXPECT_NE(full->output.find(std::string(text::diskFull) +
                                "\nA movie from a pipe is first copied into " + temporary),
              std::string::npos)
        << full->output;
    EXPECT_TRUE(full->output.ends_with("exit 1\n")) << full->output;
}

TEST_F(ProcessCommand, FailuresPrintTheReport) {
    const Outcome o =
        process({"--background", "none", dir.filePath("missing.mp4").toStdString(), out});
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.err, "Processing stopped\nThis file can't be read as a video.\n");
    EXPECT_EQ(process({"--background", "sky", clip, out}).code, 2);
    EXPECT_EQ(process({clip}).code, 2);
}

// FAT32, as many USB sticks are formatted, holds files of up to 4 GB; a limit on the size of
// files stands in for such a disk.
TEST_F(ProcessCommand, AFileTooLargeForTheDiskSaysWhyAndKeepsWhatWasThere) {
    std::ofstream(out) << "old";
    const test::ProgramRun run = test::runWithin(
        {"bash", "-c",
         R"(ulimit -f 16; trap '' XFSZ; exec "$0" process --background blur "$1" "$2")",
         PELLIQO_EXECUTABLE, clip, out},
        std::chrono::seconds(60), dir.filePath("run").toStdString());
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.output.find(text::fileTooLarge), std::string::npos) << run.output;
    EXPECT_EQ(test::bytesOf(out), "old");
    EXPECT_TRUE(staged().empty());
}

// A named pipe can be written once a program opens it to read. Until then the export waits,
// and Ctrl-C ends the wait, as it ends a write the reader no longer takes.
TEST_F(ProcessCommand, ANamedPipeIsWrittenOnceItIsReadAndCtrlCEndsAnyWait) {
    const std::string pipe = dir.filePath("pipe").toStdString();
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const std::vector<std::string> run{
        PELLIQO_EXECUTABLE, "process", "--background", "none", clip, pipe};
    const std::string log = dir.filePath("waiting").toStdString();
    const pid_t waiting = test::spawnProgram(run, log);
    for (int i = 0; i < 600 && test::bytesOf(log).find("Waiting for") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    kill(waiting, SIGINT);
    const auto cancelled = test::waitWithin(waiting, std::chrono::seconds(10));
    ASSERT_TRUE(cancelled) << test::bytesOf(log);
    EXPECT_EQ(WEXITSTATUS(*cancelled), 130);

    const pid_t writer = test::spawnProgram(run, log);
    const test::ProgramRun read =
        test::runWithin({"sh", "-c", "sleep 0.5; cat \"$0\" > \"$1\"", pipe, out},
                        std::chrono::seconds(60), dir.filePath("reader").toStdString());
    EXPECT_EQ(read.code, 0);
    const auto written = test::waitWithin(writer, std::chrono::seconds(60));
    ASSERT_TRUE(written);
    EXPECT_EQ(WEXITSTATUS(*written), 0) << test::bytesOf(log);
    EXPECT_EQ(test::frameTimes(out).size(), 10u);

    // A reader that stops reading holds the export in a write that no cancel reaches; Ctrl-C
    // ends the command all the same.
    const int idle = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);  // never read
    const pid_t stuck = test::spawnProgram(
        {PELLIQO_EXECUTABLE, "process", "--background", "none", longerClip(), pipe}, log);
    const auto full = [&] {  // no room left for a page more
        int held = 0;
        return ioctl(idle, FIONREAD, &held) == 0 && held > fcntl(idle, F_GETPIPE_SZ) - PIPE_BUF;
    };
    for (int i = 0; i < 1200 && !full(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(full()) << test::bytesOf(log);
    kill(stuck, SIGINT);
    const auto ended = test::waitWithin(stuck, std::chrono::seconds(15));
    close(idle);
    ASSERT_TRUE(ended) << test::bytesOf(log);
    EXPECT_EQ(WEXITSTATUS(*ended), 130);
    EXPECT_NE(test::bytesOf(log).find("Cancelled."), std::string::npos);
}

// A killed run leaves a hidden file of its own, which the next run clears.
TEST_F(ProcessCommand, InterruptedRunsKeepTheFileThatWasThereAndTheNextRunCleansUp) {
    const std::string longer = longerClip();
    std::ofstream(out) << "old";
    std::thread interrupter([&] {  // once the export has begun writing
        for (int i = 0; i < 6000 && !stagedBeyond(0); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::raise(SIGINT);
    });
    const Outcome cancelled = process({"--background", "blur", "--quality", "fast", longer, out});
    interrupter.join();
    EXPECT_EQ(cancelled.code, 130);
    EXPECT_NE(cancelled.err.find("Cancelled."), std::string::npos);
    EXPECT_EQ(test::bytesOf(out), "old");
    EXPECT_TRUE(staged().empty());

    // A reader of the progress that goes (`| head -n 1`) ends the export as a closed pipe
    // always did, and what it had written goes too.
    const test::ProgramRun closed = test::runWithin(
        {"/bin/bash", "-c",
         "\"$1\" process --background blur --quality fast \"$2\" \"$3\" 2>&1 | head -n 1; "
         "exit ${PIPESTATUS[0]}",
         "bash", PELLIQO_EXECUTABLE, longer, out},
        std::chrono::seconds(60), dir.filePath("run").toStdString());
    EXPECT_EQ(closed.code, 128 + SIGPIPE) << closed.output;
    EXPECT_EQ(test::bytesOf(out), "old");
    EXPECT_TRUE(staged().empty());

    const pid_t child = test::spawnProgram(
        {PELLIQO_EXECUTABLE, "process", "--background", "blur", "--quality", "fast", longer, out},
        dir.filePath("run").toStdString());
    ASSERT_GT(child, 0);
    for (int i = 0; i < 6000 && !stagedBeyond(100000); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(test::bytesOf(out), "old");
    ASSERT_EQ(staged().size(), 1u);
    EXPECT_EQ(staged()[0].filename().string().front(), '.');

    const test::ProgramRun again = test::runWithin(
        {PELLIQO_EXECUTABLE, "process", "--background", "none", "--quality", "fast", clip, out},
        std::chrono::seconds(60), dir.filePath("run").toStdString());
    ASSERT_EQ(again.code, 0) << again.output;
    EXPECT_TRUE(staged().empty());
    EXPECT_EQ(test::frameTimes(out).size(), 10u);
}

}  // namespace
}  // namespace pelliqo
