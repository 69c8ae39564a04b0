#include <gtest/gtest.h>

#include "platform/capture/VideoCapture.h"

namespace pelliqo {
namespace {

TEST(VideoCapture, AMissingCameraIsAnErrorNotACrash) {
    const auto capture = VideoCapture::open(cameraSource("/dev/video-that-does-not-exist"));
    ASSERT_FALSE(capture);
    EXPECT_EQ(capture.error().domain, "POSIX");
}

}  // namespace
}  // namespace pelliqo
