#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "Clips.h"
#include "CommandRun.h"
#include "Damage.h"
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

TEST_F(ProcessCommand, FailuresPrintTheReport) {
    const Outcome o =
        process({"--background", "none", dir.filePath("missing.mp4").toStdString(), out});
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.err, "Processing stopped\nThis file can't be read as a video.\n");
    EXPECT_EQ(process({"--background", "sky", clip, out}).code, 2);
    EXPECT_EQ(process({clip}).code, 2);
}

// Interrupted over a file the user had: that file stays as it was, and nothing else is left.
TEST_F(ProcessCommand, CtrlCCancelsAndKeepsTheFileThatWasThere) {
    const std::string longer = dir.filePath("longer.mp4").toStdString();
    ASSERT_TRUE(test::makeClip(
        "-f lavfi -i testsrc2=size=640x360:rate=30:duration=20 -c:v libx264 -preset ultrafast",
        longer));
    std::ofstream(out) << "old";
    const auto writing = [&] {
        for (const auto& entry : fs::directory_iterator(dir.path().toStdString()))
            if (StagedFile::isStagedFor(entry.path(), out) && fs::file_size(entry.path()) > 0)
                return true;
        return false;
    };
    // Interrupt once the export has begun writing.
    std::thread interrupter([&] {
        for (int i = 0; i < 6000 && !writing(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::raise(SIGINT);
    });
    const Outcome o = process({"--background", "blur", "--quality", "fast", longer, out});
    interrupter.join();
    EXPECT_EQ(o.code, 130);
    EXPECT_NE(o.err.find("Cancelled."), std::string::npos);
    EXPECT_EQ(test::bytesOf(out), "old");
    EXPECT_FALSE(writing());
}

}  // namespace
}  // namespace pelliqo
