#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "Processes.h"
#include "platform/capture/VideoCapture.h"
#include "platform/image/MatView.h"

namespace pelliqo {
namespace {

using namespace std::chrono_literals;

// Where the moving square was, and whether the red block stood top left.
struct Seen {
    int squareX = -1;
    bool upright = false;
    double time = 0;
    double done = 0;  // when the consumer was done with it
};

Seen look(const PixelBuffer& frame, double time) {
    const cv::Mat bgra = matView(frame);
    const auto red = [&](int x, int y) {
        const cv::Vec4b p = bgra.at<cv::Vec4b>(y, x);
        return p[2] > 200 && p[1] < 60 && p[0] < 60;
    };
    Seen seen{-1, red(50, 50) && !red(1230, 50) && !red(50, 680), time};
    for (int x = 0; x < bgra.cols && seen.squareX < 0; ++x)
        if (bgra.at<cv::Vec4b>(620, x)[1] > 200) seen.squareX = x;
    return seen;
}

// What a consumer taking 45 ms a frame (longer than the camera's 33) saw.
std::vector<Seen> slowlyConsumed(VideoCapture& capture, std::chrono::milliseconds within) {
    std::mutex lock;
    std::vector<Seen> frames;
    std::promise<void> ended;
    // Last, so that it goes first: deliveries still waiting on it find the rest in place.
    SerialQueue queue("pelliqo.test");
    capture.start(
        queue,
        [&](const PixelBuffer& frame, double time) {
            std::this_thread::sleep_for(45ms);
            Seen seen = look(frame, time);
            seen.done = captureClock();
            std::lock_guard guard(lock);
            frames.push_back(seen);
        },
        [&](const PlatformError&) { ended.set_value(); });
    ended.get_future().wait_for(within);
    capture.stop();
    std::lock_guard guard(lock);
    return frames;
}

// The share of frames that came before the consumer was done with the one before.
double heldShare(const std::vector<Seen>& frames) {
    int held = 0;
    for (std::size_t i = 1; i < frames.size(); ++i) held += frames[i].time < frames[i - 1].done;
    return frames.size() < 2 ? 0 : held / static_cast<double>(frames.size() - 1);
}

// A USB webcam's fast mode, Motion-JPEG at 720p30, through a pipe: a slow consumer gets fewer
// frames, never stale ones.
TEST(VideoCapture, MotionJpegFromACameraArrivesUprightInOrderAndInTime) {
    QTemporaryDir dir;
    const std::string fifo = dir.filePath("camera.mjpeg").toStdString();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int camera =
        test::spawnProgram({"ffmpeg", "-nostdin", "-re", "-f", "lavfi", "-i",
                            "color=c=black:s=1280x720:r=30:d=3[bg];color=c=white:s=40x40:r=30[sq];"
                            "[bg][sq]overlay=x='n*8':y=600:eval=frame:shortest=1,"
                            "drawbox=x=0:y=0:w=200:h=100:c=red:t=fill",
                            "-c:v", "mjpeg", "-q:v", "4", "-f", "mjpeg", "-y", fifo},
                           dir.filePath("camera.log").toStdString());
    ASSERT_GT(camera, 0);
    // Should the camera never start, opening the pipe would wait for it forever.
    auto unblock = std::async(std::launch::async, [&fifo, camera] {
        for (int i = 0; i < 200 && waitpid(camera, nullptr, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(50ms);
        close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
    });

    auto capture = VideoCapture::open({"mjpeg", fifo, {}});
    ASSERT_TRUE(capture) << capture.error().description;
    EXPECT_EQ(capture.value()->width(), 1280);
    EXPECT_EQ(capture.value()->height(), 720);
    const double started = captureClock();
    const std::vector<Seen> frames = slowlyConsumed(*capture.value(), 20s);
    kill(camera, SIGKILL);
    unblock.wait();
    ASSERT_GE(frames.size(), 15u);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(frames[i].upright);
        ASSERT_GE(frames[i].squareX, 0);
        if (i > 0) {
            EXPECT_GT(frames[i].squareX, frames[i - 1].squareX);
        }
    }
    // Frames were left out, not queued: the last one seen is near the stream's end.
    EXPECT_GE(frames.back().squareX, 78 * 8);
    EXPECT_LT(frames.front().time - started, 1.0);
}

// A camera's reads do not block, so that is at once; the pipe above waits for the next picture.
TEST(VideoCapture, FramesThatCameWhileTheConsumerWasBusyAreHandedOverOnceItIsDone) {
    auto capture = VideoCapture::open(testCameraSource());
    ASSERT_TRUE(capture) << capture.error().description;
    const auto frames = slowlyConsumed(*capture.value(), 1500ms);
    ASSERT_GE(frames.size(), 10u);
    for (std::size_t i = 1; i < frames.size(); ++i) EXPECT_GT(frames[i].time, frames[i - 1].time);
    EXPECT_GE(heldShare(frames), 0.5);
}

}  // namespace
}  // namespace pelliqo
