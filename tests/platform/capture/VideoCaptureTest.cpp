#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <vector>

#include "platform/capture/VideoCapture.h"

namespace pelliqo {
namespace {

TEST(VideoCapture, TheTestCameraDeliversStampedBgraFramesUntilStopped) {
    auto capture = VideoCapture::open(testCameraSource());
    ASSERT_TRUE(capture) << capture.error().description;
    EXPECT_EQ(capture.value()->width(), 1280);
    EXPECT_EQ(capture.value()->height(), 720);
    SerialQueue queue("pelliqo.video");
    std::mutex lock;
    std::vector<double> times;
    std::promise<void> enough;
    const double started = captureClock();
    capture.value()->start(queue, [&](const PixelBuffer& frame, double seconds) {
        EXPECT_EQ(frame.format(), PixelFormat::bgra8);
        EXPECT_EQ(frame.width(), 1280);
        std::lock_guard guard(lock);
        times.push_back(seconds);
        if (times.size() == 10) enough.set_value();
    });
    ASSERT_EQ(enough.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
    capture.value()->stop();
    std::lock_guard guard(lock);
    EXPECT_GE(times.front(), started);
    for (std::size_t i = 1; i < times.size(); ++i) EXPECT_GT(times[i], times[i - 1]);
}

TEST(VideoCapture, AMissingCameraIsAnErrorNotACrash) {
    const auto capture = VideoCapture::open(cameraSource("/dev/video-that-does-not-exist"));
    ASSERT_FALSE(capture);
    EXPECT_EQ(capture.error().domain, "POSIX");
}

}  // namespace
}  // namespace pelliqo
