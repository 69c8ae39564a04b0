#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <atomic>
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

// Pictures as a USB webcam's Motion-JPEG gives them, each of one colour, a new one each.
std::vector<std::string> cameraPictures(const QTemporaryDir& dir) {
    const auto run = test::runWithin({"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi",
                                      "-i", "color=c=red:s=160x120:r=30:d=2,hue=H=2*PI*t", "-c:v",
                                      "mjpeg", "-q:v", "3", "-f", "mjpeg", "-"},
                                     20s, dir.filePath("pictures.mjpeg").toStdString());
    std::vector<std::string> pictures;
    const std::string start = "\xff\xd8";
    for (std::size_t at = run.output.find(start); at != std::string::npos;) {
        const std::size_t next = run.output.find(start, at + 2);
        pictures.push_back(run.output.substr(at, next - at));
        at = next;
    }
    return pictures;
}

// A picture as IP cameras send it, one part of a multipart stream.
std::string part(const std::string& picture, const std::string& boundary = "--pelliqo") {
    return boundary +
           "\r\nContent-type: image/jpeg\r\nContent-length: " + std::to_string(picture.size()) +
           "\r\n\r\n" + picture + "\r\n";
}

struct Watched {
    int whole = 0;
    int torn = 0;
    double endedAfter = -1;  // seconds from the start until the capture gave up
};

// Frames seen whole (of one colour) and torn, from parts sent at a camera's pace.
Watched watch(const std::vector<std::string>& parts) {
    QTemporaryDir dir;
    const std::string fifo = dir.filePath("camera").toStdString();
    EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto camera = std::async(std::launch::async, [&] {
        // A capture that gave up has closed its end: writes fail rather than kill the test.
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
        const int out = open(fifo.c_str(), O_WRONLY);
        for (const std::string& part : parts) {
            if (write(out, part.data(), part.size()) < 0) break;
            std::this_thread::sleep_for(15ms);
        }
        close(out);
    });
    auto capture = VideoCapture::open({"mpjpeg", fifo, {}});
    if (!capture) {
        ADD_FAILURE() << capture.error().description;
        close(open(fifo.c_str(), O_RDONLY | O_NONBLOCK));
        return {};
    }
    std::atomic<int> whole = 0, torn = 0;
    std::promise<void> ended;
    SerialQueue queue("pelliqo.test");
    const double started = captureClock();
    capture.value()->start(
        queue,
        [&](const PixelBuffer& frame, double) {
            const cv::Mat bgra = matView(frame);
            const double apart = cv::norm(bgra.at<cv::Vec4b>(5, 5), bgra.at<cv::Vec4b>(114, 154));
            (apart < 4 ? whole : torn)++;
        },
        [&](const PlatformError&) { ended.set_value(); });
    EXPECT_EQ(ended.get_future().wait_for(20s), std::future_status::ready);
    const double endedAfter = captureClock() - started;
    capture.value()->stop();
    return {whole.load(), torn.load(), endedAfter};
}

// Cameras cut pictures short when the USB bus is busy, and spoil a read now and then. Such a
// picture is left out, not shown torn, and the capture goes on. A camera whose every picture is
// cut short is still shown; one that sends nothing readable is given up within seconds.
TEST(VideoCapture, SpoiltPicturesAreLeftOutAndTheCaptureGoesOn) {
    QTemporaryDir dir;
    const std::vector<std::string> pictures = cameraPictures(dir);
    ASSERT_EQ(pictures.size(), 60u);
    std::vector<std::string> parts, allCut, thenNonsense;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const std::string cut = pictures[i].substr(0, pictures[i].size() * 9 / 10);
        const bool spoilt = i == 10 || i == 11 || i == 30;
        parts.push_back(i == 45 ? part(pictures[i], "xxpelliqo")
                                : part(spoilt ? cut : pictures[i]));
        allCut.push_back(part(cut));
        if (i < 10) thenNonsense.push_back(part(pictures[i]));
    }
    thenNonsense.insert(thenNonsense.end(), 300, "nonsense\r\n");

    const Watched spoilt = watch(parts);
    EXPECT_EQ(spoilt.torn, 0);
    EXPECT_GE(spoilt.whole, 48);  // of 56 whole, 44 of them before the broken part
    EXPECT_GE(watch(allCut).torn, 30);
    const Watched nonsense = watch(thenNonsense);
    EXPECT_GE(nonsense.whole, 8);
    EXPECT_LT(nonsense.endedAfter, 3.5);  // its nonsense goes on for 4.5 s
}

}  // namespace
}  // namespace pelliqo
