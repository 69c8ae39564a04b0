#include <gtest/gtest.h>

#include "platform/capture/CameraMode.h"

namespace pelliqo {
namespace {

CameraMode raw(const char* format, int width, int height, std::vector<double> rates) {
    return {format, false, width, height, std::move(rates)};
}

CameraMode jpeg(int width, int height, std::vector<double> rates) {
    return {"mjpeg", true, width, height, std::move(rates)};
}

std::optional<CameraChoice> chosen(const std::vector<CameraMode>& modes) {
    return chooseCameraMode(modes, 1280, 720, 30);
}

// Mode lists as common webcams and capture cards publish them.
TEST(CameraMode, WebcamsGetTheirBestRateAt720pRawWhereItReachesIt) {
    // A USB 2 webcam: raw 720p only at 10 frames a second, Motion-JPEG at 30.
    const std::vector<CameraMode> uvc{raw("yuyv422", 640, 480, {30, 15}),
                                      raw("yuyv422", 1280, 720, {10, 5}), jpeg(640, 480, {30, 15}),
                                      jpeg(1280, 720, {30.00003, 15}), jpeg(1920, 1080, {30})};
    EXPECT_EQ(chosen(uvc), (CameraChoice{"mjpeg", 1280, 720, 30.00003}));
    // Where raw reaches the rate as well, nothing needs decoding.
    auto fast = uvc;
    fast[1].rates = {30, 10};
    EXPECT_EQ(chosen(fast), (CameraChoice{"yuyv422", 1280, 720, 30}));
    // An older camera with 640 × 480 alone, at 30 and a slower 29.97 of NTSC.
    EXPECT_EQ(chosen({raw("yuyv422", 640, 480, {29.97, 15}), raw("yuyv422", 320, 240, {30})}),
              (CameraChoice{"yuyv422", 640, 480, 29.97}));
    // Motion-JPEG only, its 720p slower than 30: the highest rate below.
    EXPECT_EQ(chosen({jpeg(1280, 720, {25, 20}), jpeg(640, 360, {60, 30})}),
              (CameraChoice{"mjpeg", 1280, 720, 25}));
    EXPECT_EQ(chosen({raw("nv12", 1920, 1080, {30, 60})}), (CameraChoice{"nv12", 1920, 1080, 30}));
    // A capture card at 60 alone: the rate above, as nothing is offered below.
    EXPECT_EQ(chosen({raw("nv12", 1920, 1080, {60}), raw("nv12", 1280, 720, {60})}),
              (CameraChoice{"nv12", 1280, 720, 60}));
    // Only an encoding we would rather not: taken as it is.
    EXPECT_EQ(chosen({{"h264", true, 1280, 720, {30}}}), (CameraChoice{"h264", 1280, 720, 30}));
}

TEST(CameraMode, ModesWithoutSizeOrRateAreNoChoiceAndOptionsNameTheMode) {
    EXPECT_FALSE(chosen({}));
    EXPECT_FALSE(chosen({raw("yuyv422", 1280, 720, {}), raw("yuyv422", 0, 0, {30})}));
    EXPECT_EQ(captureOptions({"mjpeg", 1280, 720, 30}),
              (std::map<std::string, std::string>{
                  {"input_format", "mjpeg"}, {"video_size", "1280x720"}, {"framerate", "30"}}));
}

}  // namespace
}  // namespace pelliqo
