#include <gtest/gtest.h>

#include <array>
#include <opencv2/core.hpp>
#include <vector>

#include "Pictures.h"
#include "platform/output/Yuyv.h"

namespace pelliqo {
namespace {

// Each 2 × 2 block one colour; the known BT.601 limited-range values within one step.
TEST(Yuyv, PrimariesAndGreysLandOnTheirStandardValues) {
    const std::vector<std::array<int, 3>> expected = {{235, 128, 128}, {16, 128, 128},
                                                      {82, 90, 240},   {145, 54, 34},
                                                      {41, 240, 110},  {126, 128, 128}};
    const cv::Mat bgra = test::blocksOf(test::primariesAndGreys, 2);
    std::vector<std::uint8_t> out(bgra.total() * 2);
    ASSERT_TRUE(convertToYuyv(test::bufferOf(bgra), out.data(), bgra.cols * 2));
    for (std::size_t i = 0; i < expected.size(); ++i) {
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

}  // namespace
}  // namespace pelliqo
