#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "platform/image/MatView.h"
#include "platform/image/Yuv420.h"
#include "platform/media/FFmpeg.h"

namespace pelliqo {
namespace {

struct Planes {
    Planes(int w, int h)
        : y(static_cast<std::size_t>(w * h)), u(y.size() / 4), v(y.size() / 4), width(w) {}
    Yuv420Planes view() { return {y.data(), width, u.data(), width / 2, v.data(), width / 2}; }
    std::vector<std::uint8_t> y, u, v;
    int width;
};

PixelBuffer picture(const cv::Mat& bgra) {
    auto buffer = PixelBuffer::make(bgra.cols, bgra.rows, PixelFormat::bgra8).value();
    bgra.copyTo(matView(buffer));
    return buffer;
}

// Each 2 × 2 block one colour; the known BT.709 limited-range values within one step.
TEST(Yuv420, PrimariesAndGreysLandOnTheirStandardValues) {
    const std::vector<cv::Vec4b> colours = {{255, 255, 255, 255}, {0, 0, 0, 255},
                                            {0, 0, 255, 0},       {0, 255, 0, 255},
                                            {255, 0, 0, 255},     {128, 128, 128, 7}};
    const std::vector<std::array<int, 3>> expected = {{235, 128, 128}, {16, 128, 128},
                                                      {63, 102, 240},  {173, 42, 26},
                                                      {32, 240, 118},  {126, 128, 128}};
    cv::Mat bgra(2, 2 * static_cast<int>(colours.size()), CV_8UC4);
    for (int i = 0; i < static_cast<int>(colours.size()); ++i)
        bgra(cv::Rect(2 * i, 0, 2, 2)) = colours[i];
    Planes out(bgra.cols, 2);
    ASSERT_TRUE(convertToYuv420(picture(bgra), out.view()));
    for (std::size_t i = 0; i < colours.size(); ++i) {
        SCOPED_TRACE(i);
        for (int p = 0; p < 2; ++p) EXPECT_NEAR(out.y[2 * i + p], expected[i][0], 1);
        EXPECT_NEAR(out.u[i], expected[i][1], 1);
        EXPECT_NEAR(out.v[i], expected[i][2], 1);
    }
}

TEST(Yuv420, RefusesOddSidesAndOtherFormats) {
    Planes out(4, 4);
    EXPECT_FALSE(convertToYuv420(PixelBuffer::make(3, 4, PixelFormat::bgra8).value(), out.view()));
    EXPECT_FALSE(convertToYuv420(PixelBuffer::make(4, 3, PixelFormat::bgra8).value(), out.view()));
    EXPECT_FALSE(convertToYuv420(PixelBuffer::make(4, 4, PixelFormat::gray8).value(), out.view()));
}

// On a real photo the planes agree with FFmpeg's own conversion to the same standard.
TEST(Yuv420, AgreesWithFFmpegOnAPhoto) {
    cv::Mat bgr = cv::imread(PELLIQO_TEST_DATA "/people/astronaut.png"), bgra;
    ASSERT_FALSE(bgr.empty());
    cv::cvtColor(bgr, bgra, cv::COLOR_BGR2BGRA);
    bgra = bgra(cv::Rect(0, 0, bgra.cols & ~1, bgra.rows & ~1)).clone();
    const PixelBuffer buffer = picture(bgra);
    Planes ours(bgra.cols, bgra.rows), theirs(bgra.cols, bgra.rows);
    ASSERT_TRUE(convertToYuv420(buffer, ours.view()));

    ff::Scaler scaler(sws_getContext(bgra.cols, bgra.rows, AV_PIX_FMT_BGRA, bgra.cols, bgra.rows,
                                     AV_PIX_FMT_YUV420P, SWS_BILINEAR | SWS_ACCURATE_RND, nullptr,
                                     nullptr, nullptr));
    ASSERT_TRUE(scaler);
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(scaler.get(), bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
    const std::uint8_t* in[4] = {buffer.data(), nullptr, nullptr, nullptr};
    const int inStride[4] = {static_cast<int>(buffer.bytesPerRow()), 0, 0, 0};
    const Yuv420Planes t = theirs.view();
    std::uint8_t* out[4] = {t.y, t.u, t.v, nullptr};
    const int outStride[4] = {t.yStride, t.uStride, t.vStride, 0};
    sws_scale(scaler.get(), in, inStride, 0, bgra.rows, out, outStride);

    const auto meanDifference = [](const std::vector<std::uint8_t>& a,
                                   const std::vector<std::uint8_t>& b) {
        return cv::norm(cv::Mat(a), cv::Mat(b), cv::NORM_L1) / static_cast<double>(a.size());
    };
    // Chroma sits at the centre of its 2 × 2 pixels here, not quite where FFmpeg's filter puts
    // it; a BT.601 luma would differ by 2.4 on average.
    EXPECT_LT(meanDifference(ours.y, theirs.y), 0.3);
    EXPECT_LT(meanDifference(ours.u, theirs.u), 0.5);
    EXPECT_LT(meanDifference(ours.v, theirs.v), 0.5);
}

}  // namespace
}  // namespace pelliqo
