#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QTemporaryDir>
#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/media/MovieAsset.h"
#include "platform/media/TrackReader.h"

extern char** environ;

namespace pelliqo {
namespace {

namespace fs = std::filesystem;

// A writer killed in the middle of a recording leaves a file that plays up to its last
// fragment; an ordinary MP4 would have lost everything.
TEST(FragmentedMovie, SurvivesItsWriterBeingKilled) {
    QTemporaryDir dir;
    const std::string out = dir.filePath("take.mp4").toStdString();
    char* args[] = {const_cast<char*>(PELLIQO_WRITE_UNTIL_KILLED), const_cast<char*>(out.c_str()),
                    nullptr};
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, args[0], nullptr, nullptr, args, environ), 0);
    // Wait for a few seconds of movie (several fragments) to reach the disk.
    std::error_code error;
    for (int i = 0; i < 3000 && (!fs::exists(out) || fs::file_size(out, error) < 150'000); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped on its own";

    const MovieAsset asset = MovieAsset::open(out);
    ASSERT_TRUE(asset.isReadable);
    ASSERT_TRUE(asset.video);
    auto reader = TrackReader::video(out, *asset.video);
    ASSERT_TRUE(reader);
    int frames = 0;
    while (reader.value()->nextVideo()) ++frames;
    EXPECT_GE(frames, 60);  // at least two seconds of it
}

}  // namespace
}  // namespace pelliqo
