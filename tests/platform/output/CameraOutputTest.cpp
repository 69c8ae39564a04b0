#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <opencv2/core.hpp>
#include <vector>

#include "Pictures.h"
#include "PipeWireServer.h"
#include "platform/output/CameraOutput.h"
#include "platform/output/Yuyv.h"

namespace pelliqo {
namespace {

using namespace std::chrono_literals;

// Each pair of pixels one colour; the known BT.601 limited-range values within one step.
TEST(Yuyv, PrimariesAndGreysLandOnTheirStandardValues) {
    const std::vector<cv::Vec4b> colours = {{255, 255, 255, 255}, {0, 0, 0, 255},
                                            {0, 0, 255, 0},       {0, 255, 0, 255},
                                            {255, 0, 0, 255},     {128, 128, 128, 9}};
    const std::vector<std::array<int, 3>> expected = {{235, 128, 128}, {16, 128, 128},
                                                      {82, 90, 240},   {145, 54, 34},
                                                      {41, 240, 110},  {126, 128, 128}};
    cv::Mat bgra(1, 2 * static_cast<int>(colours.size()), CV_8UC4);
    for (int i = 0; i < static_cast<int>(colours.size()); ++i)
        bgra(cv::Rect(2 * i, 0, 2, 1)) = colours[i];
    std::vector<std::uint8_t> out(static_cast<std::size_t>(bgra.cols) * 2);
    ASSERT_TRUE(convertToYuyv(test::bufferOf(bgra), out.data(), bgra.cols * 2));
    for (std::size_t i = 0; i < colours.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(out[4 * i], expected[i][0], 1);
        EXPECT_NEAR(out[4 * i + 2], expected[i][0], 1);
        EXPECT_NEAR(out[4 * i + 1], expected[i][1], 1);
        EXPECT_NEAR(out[4 * i + 3], expected[i][2], 1);
    }
    // Chroma is the mean of the pair: black beside white is grey.
    cv::Mat pair(1, 2, CV_8UC4, cv::Scalar(0, 0, 0, 255));
    pair.at<cv::Vec4b>(0, 1) = {255, 255, 255, 255};
    ASSERT_TRUE(convertToYuyv(test::bufferOf(pair), out.data(), 4));
    EXPECT_EQ(out[0], 16);
    EXPECT_EQ(out[2], 235);
    EXPECT_EQ(out[1], 128);
    EXPECT_EQ(out[3], 128);
    EXPECT_FALSE(convertToYuyv(PixelBuffer::make(3, 2, PixelFormat::bgra8).value(), out.data(), 6));
}

cv::Mat testPicture(int width, int height) {
    cv::Mat bgra(height, width, CV_8UC4);
    cv::randu(bgra, 0, 256);
    bgra.forEach<cv::Vec4b>([](cv::Vec4b& p, const int*) { p[3] = 255; });
    return bgra;
}

// Applications receive the published picture exactly, in either format they ask for.
TEST(PipeWireCamera, AViewerReceivesThePublishedFrames) {
    test::PipeWireServer server;
    if (!server.running()) GTEST_SKIP() << "PipeWire, WirePlumber or D-Bus is not installed";
    const CameraOutputPlace place = findCameraOutputPlace();
    if (place.kind == CameraOutputPlace::Kind::loopbackDevice)
        GTEST_SKIP() << "a loopback device takes precedence here";
    ASSERT_EQ(place.kind, CameraOutputPlace::Kind::pipeWire);

    const int width = 64, height = 48;
    const cv::Mat bgra = testPicture(width, height);
    const PixelBuffer frame = test::bufferOf(bgra);
    std::vector<std::uint8_t> yuyv(static_cast<std::size_t>(width * height * 2));
    ASSERT_TRUE(convertToYuyv(frame, yuyv.data(), width * 2));

    for (const spa_video_format format : {SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_YUY2}) {
        SCOPED_TRACE(format == SPA_VIDEO_FORMAT_YUY2 ? "YUY2" : "BGRx");
        const auto output = makeCameraOutput(place);
        ASSERT_TRUE(output);
        ASSERT_FALSE(output->start(width, height, 30));
        test::CameraViewer viewer(format, width, height);
        const auto received = viewer.firstFrame(10s, [&] { EXPECT_FALSE(output->publish(frame)); });
        ASSERT_FALSE(received.empty()) << "no frame reached the viewer";
        if (format == SPA_VIDEO_FORMAT_YUY2) {
            EXPECT_EQ(received, yuyv);
        } else {
            ASSERT_EQ(received.size(), bgra.total() * 4);
            EXPECT_EQ(0, std::memcmp(received.data(), bgra.data, received.size()));
        }
        output->stop();
    }
}

}  // namespace
}  // namespace pelliqo
