#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <cerrno>
#include <chrono>
#include <climits>
#include <fstream>
#include <future>
#include <opencv2/core.hpp>
#include <optional>
#include <thread>

#include "MovieProbe.h"
#include "Pictures.h"
#include "Processes.h"
#include "errors/Texts.h"
#include "live/LiveRecorder.h"
#include "live/RealtimeWriter.h"
#include "platform/image/MatView.h"
#include "platform/media/MovieAsset.h"

namespace pelliqo {
namespace {

namespace fs = std::filesystem;
using test::frameTimes;
using test::streamOf;

using Outcome = Result<std::vector<fs::path>>;

Outcome stopped(LiveRecorder& recorder) {
    std::promise<Outcome> done;
    recorder.stop([&](Outcome outcome) { done.set_value(std::move(outcome)); });
    return done.get_future().get();
}

// Sound as the microphone gives it: 20 ms of 16-bit stereo at 48 kHz, stamped in seconds.
AudioSample sound(double seconds) {
    return {std::vector<std::int16_t>(2 * 960, 2000), MediaTime::fromSeconds(seconds, 48000)};
}

// Opens the files and records into them, as the record screen does.
std::optional<PlatformError> start(LiveRecorder& recorder, const LiveRecorder::Config& config) {
    auto files = LiveRecorder::open(config);
    if (!files) return files.error();
    recorder.start(std::move(files).value());
    return std::nullopt;
}

class Recorder : public testing::Test {
  protected:
    fs::path path(const char* name) const { return fs::path(dir.path().toStdString()) / name; }

    // Frames at 30 per second from capture time t0, with sound from half a second before;
    // paced a little so that the encoder queue never fills.
    void feed(LiveRecorder& recorder, int frames, int w, int h, double t0 = 1000.0) {
        for (int a = -25; a < frames * 5 / 3; ++a) recorder.appendAudio(sound(t0 + a * 0.02));
        const PixelBuffer processed = test::solidBuffer(w, h, {0, 0, 255, 255});
        const PixelBuffer camera = test::solidBuffer(w, h, {255, 0, 0, 255});
        for (int i = 0; i < frames; ++i) {
            recorder.appendVideo(processed, {camera, t0 + i / 30.0});
            std::this_thread::sleep_for(std::chrono::milliseconds(4));
        }
    }

    QTemporaryDir dir;
};

TEST_F(Recorder, WritesTheProcessedFileAndTheOriginalTakeFromTheFirstFrame) {
    LiveRecorder recorder;
    const LiveRecorder::Config config{
        65, 49, false, true, path("take.mp4"), path("take (original).mp4")};
    ASSERT_FALSE(start(recorder, config));
    EXPECT_FALSE(start(recorder, {64, 48, true, false, path("other.mov"), std::nullopt}));
    EXPECT_EQ(recorder.recordedSeconds(1000.5), 0.0);  // nothing recorded before a frame
    feed(recorder, 60, 65, 49);
    // The length runs from the first frame's capture, as the files have it.
    EXPECT_DOUBLE_EQ(recorder.recordedSeconds(1002.5), 2.5);
    const Outcome outcome = stopped(recorder);
    ASSERT_TRUE(outcome) << outcome.error().description;
    EXPECT_EQ(outcome.value(), (std::vector{path("take.mp4"), path("take (original).mp4")}));
    EXPECT_FALSE(fs::exists(path("other.mov")));

    for (const fs::path& file : outcome.value()) {
        EXPECT_EQ(streamOf(file, AVMEDIA_TYPE_VIDEO).width, 64);  // 65 rounded down to even
        EXPECT_EQ(streamOf(file, AVMEDIA_TYPE_AUDIO).rate, 44100);
        const auto times = frameTimes(file);
        ASSERT_GE(times.size(), 54u) << file;  // a busy encoder may have left out a few
        EXPECT_NEAR(streamOf(file, AVMEDIA_TYPE_VIDEO).start, 0.0, 1e-3);
        EXPECT_FALSE(test::tagOf(file, "creation_time").empty()) << file;  // when it was made
        for (std::size_t i = 1; i < times.size(); ++i) EXPECT_GT(times[i], times[i - 1]);
        // Sound from before the first frame is not written: it runs as long as the video.
        EXPECT_NEAR(MovieAsset::open(file).duration, 2.0, 0.1) << file;
    }
}

TEST_F(Recorder, ATransparentRecordingIsProResWithAlphaAndItsOriginalStaysH264) {
    LiveRecorder recorder;
    ASSERT_FALSE(
        start(recorder, {32, 24, true, false, path("clear.mov"), path("clear (original).mp4")}));
    feed(recorder, 10, 32, 24);
    ASSERT_TRUE(stopped(recorder));
    const test::Stream processed = streamOf(path("clear.mov"), AVMEDIA_TYPE_VIDEO);
    EXPECT_EQ(processed.codec, AV_CODEC_ID_PRORES);
    EXPECT_EQ(processed.profile, FF_PROFILE_PRORES_4444);
    EXPECT_EQ(streamOf(path("clear (original).mp4"), AVMEDIA_TYPE_VIDEO).codec, AV_CODEC_ID_H264);
}

// The camera's thread never waits on the encoder.
TEST_F(Recorder, AppendsThatFindTheBacklogFullAreLeftOut) {
    auto movie = MovieWriter::create(path("burst.mp4"), MovieFileType::mpeg4);
    ASSERT_TRUE(movie);
    ASSERT_TRUE(movie.value()->addVideoInput(
        {VideoEncoding::Codec::h264, 1280, 720, 3'686'400, {0, 1, 30}, 30}));
    ASSERT_TRUE(movie.value()->startWriting());
    RealtimeWriter writer(std::move(movie).value(), path("burst.mp4"));
    const PixelBuffer frame = test::solidBuffer(1280, 720, {0, 128, 255, 255});
    std::size_t taken = 0;
    for (int i = 0; i < 60; ++i) {
        if (!writer.isReady(MovieWriter::Input::video)) continue;
        writer.appendVideo(frame, MediaTime{i, 1, 30});
        ++taken;
    }
    EXPECT_GE(taken, static_cast<std::size_t>(RealtimeWriter::videoBacklog));
    EXPECT_LT(taken, 60u);
    ASSERT_TRUE(writer.finish());
    EXPECT_EQ(frameTimes(path("burst.mp4")).size(), taken);
}

TEST_F(Recorder, NothingIsSavedBeforeAFrameOrWhereAFileCannotBeCreated) {
    LiveRecorder recorder;
    ASSERT_FALSE(
        start(recorder, {64, 48, false, true, path("empty.mp4"), path("empty (original).mp4")}));
    recorder.appendAudio(sound(5.0));  // sound alone does not start the files
    const Outcome first = stopped(recorder);
    ASSERT_FALSE(first);
    EXPECT_EQ(first.error().description, text::failure::noVideoFrames);
    EXPECT_FALSE(fs::exists(path("empty.mp4")));
    EXPECT_FALSE(fs::exists(path("empty (original).mp4")));
    const Outcome second = stopped(recorder);
    ASSERT_FALSE(second);
    EXPECT_EQ(second.error().description, text::failure::nothingRecorded);

    // A file that cannot be created leaves the recorder idle.
    const auto error =
        start(recorder, {64, 48, false, false, path("no/such/folder.mp4"), path("b.mp4")});
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, "POSIX");
    EXPECT_FALSE(recorder.active());
    EXPECT_FALSE(fs::exists(path("b.mp4")));
    // The original take's folder missing: the processed file is not left behind either.
    ASSERT_TRUE(start(recorder, {64, 48, false, false, path("a.mp4"), path("no/such/b.mp4")}));
    EXPECT_FALSE(fs::exists(path("a.mp4")));
    EXPECT_FALSE(recorder.active());
    // What was at a location before is never written over nor deleted: a file (as another
    // program may make one under the same name), a folder, or a device.
    { std::ofstream(path("taken.mp4")) << "theirs"; }
    fs::create_directory(path("taken"));
    for (const char* taken : {"taken.mp4", "taken"}) {
        const auto refused = start(recorder, {64, 48, false, false, path(taken), std::nullopt});
        ASSERT_TRUE(refused) << taken;
        EXPECT_EQ(refused->code, EEXIST) << taken;
    }
    EXPECT_EQ(fs::file_size(path("taken.mp4")), 6u);
    EXPECT_TRUE(fs::is_directory(path("taken")));
    ASSERT_TRUE(start(recorder, {64, 48, false, false, "/dev/full", std::nullopt}));
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

// record_until_full's exit code and output, on a private file system of the given size.
std::optional<std::pair<int, std::string>> recordUntilFull(const fs::path& folder,
                                                           const char* size) {
    const auto run =
        test::runOnSmallDisk(folder, size, "exec \"$2\" \"$1\"", {PELLIQO_RECORD_UNTIL_FULL});
    if (!run) return std::nullopt;
    return std::pair{run->code.value_or(-1), run->output};
}

// A disk that stops answering holds the writer in a write for ever; here, a full pipe nobody
// reads. Stopping says so within its bound, and the recorder goes without waiting on it.
TEST_F(Recorder, AWriteThatNeverEndsIsLetGo) {
    const fs::path pipe = path("stuck.mp4");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const int idle = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    auto recorder = std::make_unique<LiveRecorder>();
    ASSERT_FALSE(start(*recorder, {64, 48, false, false, pipe, std::nullopt}));
    const int filler = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
    const std::string page(PIPE_BUF, 'x');
    while (write(filler, page.data(), page.size()) > 0) {
    }
    close(filler);
    feed(*recorder, 60, 64, 48);  // two seconds: held up midway, in a fragment
    std::promise<Outcome> done;
    recorder->stop([&](Outcome outcome) { done.set_value(std::move(outcome)); });
    auto told = done.get_future();
    const auto bound = std::chrono::duration<double>(LiveRecorder::finishBound);
    ASSERT_EQ(told.wait_for(bound * 2), std::future_status::ready);
    const Outcome outcome = told.get();
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().code, ETIMEDOUT);
    // The next recording is not held up behind it.
    ASSERT_FALSE(start(*recorder, {64, 48, false, false, path("next.mp4"), std::nullopt}));
    feed(*recorder, 10, 64, 48);
    EXPECT_TRUE(stopped(*recorder));
    auto gone = std::async(std::launch::async, [&] { recorder.reset(); });
    EXPECT_EQ(gone.wait_for(bound / 2), std::future_status::ready);
    // Read at last, the pipe lets the write end, and the writer with it.
    char drained[PIPE_BUF];
    const auto readUntil = std::chrono::steady_clock::now() + bound * 2;
    while (read(idle, drained, sizeof drained) != 0 && std::chrono::steady_clock::now() < readUntil)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    close(idle);
    gone.wait();
}

// 8 kB hold only headers and a cut-off fragment, which shows nothing: nothing is kept.
TEST_F(Recorder, AFullDiskStopsTheRecordingAndKeepsWhatWasWritten) {
    const auto roomy = recordUntilFull(path("small"), "400k");
    if (!roomy) GTEST_SKIP() << "no private file system here";
    EXPECT_EQ(roomy->first, 0) << roomy->second;
    EXPECT_NE(roomy->second.find("kept: \"full.mp4\""), std::string::npos) << roomy->second;
    const auto tiny = recordUntilFull(path("tiny"), "8k");
    ASSERT_TRUE(tiny);
    EXPECT_EQ(tiny->first, 0) << tiny->second;
    EXPECT_EQ(tiny->second.find("kept: "), std::string::npos) << tiny->second;
}

}  // namespace
}  // namespace pelliqo
