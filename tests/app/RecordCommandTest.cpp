#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

#include "CommandRun.h"
#include "MovieProbe.h"
#include "Processes.h"
#include "errors/Texts.h"
#include "platform/media/MovieAsset.h"

namespace pelliqo {
namespace {

namespace fs = std::filesystem;
using test::realSecondsSkipped;
using test::runCommand;
using test::underThreadSanitizer;

std::vector<fs::path> printedPaths(const std::string& out) {
    std::vector<fs::path> paths;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) paths.emplace_back(line);
    return paths;
}

TEST(RecordCommand, RecordsTheTestDevicesForTheTimeAskedWithTheOriginalTake) {
    if (underThreadSanitizer) GTEST_SKIP() << realSecondsSkipped;
    QTemporaryDir dir;
    const auto run = runCommand({"record", "--camera", "test", "--microphone", "test", "--seconds",
                                 "3", "--keep-original", "--folder", dir.path().toStdString()});
    ASSERT_EQ(run.code, 0) << run.err;
    const auto paths = printedPaths(run.out);
    ASSERT_EQ(paths.size(), 2u) << run.out;
    EXPECT_EQ(paths[0].parent_path(), fs::path(dir.path().toStdString()));
    EXPECT_EQ(paths[1].stem().string(), paths[0].stem().string() + " (original)");
    for (const fs::path& file : paths) {
        EXPECT_NEAR(MovieAsset::open(file).duration, 3.0, 0.2) << file;
        EXPECT_EQ(test::streamOf(file, AVMEDIA_TYPE_VIDEO).width, 1280);
        EXPECT_EQ(test::streamOf(file, AVMEDIA_TYPE_AUDIO).codec, AV_CODEC_ID_AAC);
        // How many frames a loaded machine keeps is the live benchmark's business.
        const auto times = test::frameTimes(file);
        ASSERT_GE(times.size(), 2u);
        for (std::size_t i = 1; i < times.size(); ++i) EXPECT_GT(times[i], times[i - 1]);
    }
}

TEST(RecordCommand, UnknownDevicesAndBadOptionsAreRefused) {
    const auto camera = runCommand({"record", "--camera", "no-such-camera"});
    EXPECT_EQ(camera.code, 1);
    EXPECT_EQ(camera.err.rfind(std::string(text::title::noCameraFound) + "\n", 0), 0u)
        << camera.err;
    EXPECT_EQ(runCommand({"record", "--camera", "test", "--microphone", "no-such-mic"}).code, 1);
    for (const char* bad : {"--seconds=0", "--seconds=soon", "out.mp4", "--background=sparkles"})
        EXPECT_EQ(runCommand({"record", bad}).code, 2) << bad;

    // A folder that can't be made says why (here, the user may not write where it goes), not
    // that the files' folder is missing. The super-user may write anywhere: run as nobody.
    QTemporaryDir dir;
    const fs::path shut = fs::path(dir.path().toStdString()) / "shut";
    fs::create_directory(shut);
    fs::permissions(dir.path().toStdString(), fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(shut, fs::perms{0555});
    std::vector<std::string> args{
        PELLIQO_EXECUTABLE, "record", "--camera", "test",
        "--microphone",     "none",   "--folder", (shut / "Videos").string()};
    if (geteuid() == 0)
        args.insert(args.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    const auto run = test::runWithin(args, std::chrono::seconds(60), shut.string() + ".log");
    EXPECT_EQ(run.code, 1);
    const std::string told = std::string(text::title::couldNotStartRecording) + "\n";
    EXPECT_NE(run.output.find(told + std::strerror(EACCES)), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("Recording."), std::string::npos) << run.output;
}

// Ended from outside (`kill`, `timeout`, a closed terminal) a recording is finished and saved;
// killed outright, it keeps what reached the disk.
TEST(RecordCommand, ATerminatedRecordingIsFinishedAndAKilledOneStaysPlayable) {
    if (underThreadSanitizer) GTEST_SKIP() << realSecondsSkipped;
    QTemporaryDir dir;
    for (const int signal : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(signal);
        const std::string folder = dir.filePath(QString::number(signal)).toStdString();
        const int child =
            test::spawnProgram({PELLIQO_EXECUTABLE, "record", "--camera", "test", "--microphone",
                                "test", "--seconds", "60", "--folder", folder},
                               folder + ".log");
        ASSERT_GT(child, 0);
        // Ended by content, not time: on a loaded machine the first fragments reach the disk
        // later.
        const auto holdsTwoSeconds = [&] {
            std::error_code e;
            const auto first = fs::directory_iterator(folder, e);
            if (e || first == fs::directory_iterator()) return false;
            const MovieAsset asset = MovieAsset::open(first->path());
            return asset.isReadable && asset.duration >= 2.0;
        };
        for (int i = 0; i < 600 && !holdsTwoSeconds(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        kill(child, signal);
        const auto status = test::waitWithin(child, std::chrono::seconds(30));
        ASSERT_TRUE(status) << "no end within 30 s";
        ASSERT_FALSE(fs::is_empty(folder));
        const fs::path file = fs::directory_iterator(folder)->path();
        if (signal == SIGTERM) {
            EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
            EXPECT_TRUE(test::isFinishedRecording(file));
        } else {
            ASSERT_TRUE(WIFSIGNALED(*status)) << "the recording ended on its own";
        }
        const MovieAsset asset = MovieAsset::open(file);
        ASSERT_TRUE(asset.isReadable);
        EXPECT_GE(asset.duration, 2.0);
        // Up to the end of its last fragment; a loaded machine keeps fewer frames, so no count.
        const auto times = test::frameTimes(file);
        ASSERT_GE(times.size(), 2u);
        EXPECT_GE(times.back(), asset.duration - 1.0);
    }
}

}  // namespace
}  // namespace pelliqo
