#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "Pictures.h"
#include "platform/image/Yuv420.h"

namespace pelliqo {
namespace {

// BT.709 limited range, within one step (BT.601 or full range miss by far more).
TEST(Yuv420, PrimariesAndGreysLandOnTheirStandardValues) {
    const std::vector<std::array<int, 3>> expected = {{235, 128, 128}, {16, 128, 128},
                                                      {63, 102, 240},  {173, 42, 26},
                                                      {32, 240, 118},  {126, 128, 128}};
    const cv::Mat bgra = test::blocksOf(test::primariesAndGreys, 2);
    const int width = bgra.cols;
    std::vector<std::uint8_t> y(static_cast<std::size_t>(2 * width)), u(y.size() / 4), v(u.size());
    ASSERT_TRUE(convertToYuv420(test::bufferOf(bgra),
                                {y.data(), width, u.data(), width / 2, v.data(), width / 2}));
    EXPECT_FALSE(convertToYuv420(PixelBuffer::make(3, 4, PixelFormat::bgra8).value(),
                                 {y.data(), width, u.data(), width / 2, v.data(), width / 2}));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        for (int p = 0; p < 2; ++p) EXPECT_NEAR(y[2 * i + p], expected[i][0], 1);
        EXPECT_NEAR(u[i], expected[i][1], 1);
        EXPECT_NEAR(v[i], expected[i][2], 1);
    }
}

TEST(Yuv420, HalfSizePicturesGiveTheBlocksColoursBack) {
    const std::vector<cv::Vec4b> colours = {{255, 255, 255, 255}, {0, 0, 0, 255},
                                            {0, 0, 255, 255},     {0, 255, 0, 255},
                                            {255, 0, 0, 255},     {40, 120, 200, 255}};
    cv::Mat bgra;
    cv::vconcat(test::blocksOf(colours, 2), test::blocksOf({colours.rbegin(), colours.rend()}, 2),
                bgra);
    const int width = bgra.cols;
    const auto frame = Yuv420Frame::make(width, 4);
    ASSERT_TRUE(frame && convertToYuv420(test::bufferOf(bgra), frame->planes()));
    const cv::Mat half = scaledBgra(*frame, {width / 2, 2});
    ASSERT_EQ(half.size(), cv::Size(width / 2, 2));
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < width / 2; ++x) {
            const cv::Vec4b expected = bgra.at<cv::Vec4b>(2 * y, 2 * x);
            const cv::Vec4b got = half.at<cv::Vec4b>(y, x);
            for (int c = 0; c < 3; ++c) EXPECT_NEAR(got[c], expected[c], 2) << x << "," << y;
            EXPECT_EQ(got[3], 255);
        }
    }
    EXPECT_FALSE(Yuv420Frame::make(5, 4));
    EXPECT_FALSE(Yuv420Frame::over(PixelBuffer::make(6, 5, PixelFormat::gray8).value()));
    EXPECT_FALSE(Yuv420Frame::over(PixelBuffer::make(6, 6, PixelFormat::bgra8).value()));
}

}  // namespace
}  // namespace pelliqo
