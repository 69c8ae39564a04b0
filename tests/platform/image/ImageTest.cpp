#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "platform/image/Image.h"
#include "platform/image/MatView.h"
#include "platform/image/Rendering.h"

namespace pelliqo {
namespace {

cv::Mat grey(std::initializer_list<std::initializer_list<float>> rows) {
    cv::Mat m(static_cast<int>(rows.size()), static_cast<int>(rows.begin()->size()), CV_32F);
    int y = 0;
    for (const auto& row : rows) {
        int x = 0;
        for (float v : row) m.at<float>(y, x++) = v;
        ++y;
    }
    return m;
}

cv::Mat solid(int w, int h, cv::Vec4b bgra) {
    return cv::Mat(h, w, CV_8UC4, cv::Scalar(bgra[0], bgra[1], bgra[2], bgra[3]));
}

cv::Vec4b at(const Image& image, int x, int y) {
    return image.pixels().at<cv::Vec4b>(y, x);
}

bool same(const cv::Mat& a, const cv::Mat& b) {
    return a.size() == b.size() && cv::norm(a, b, cv::NORM_INF) == 0;
}

TEST(Image, MaximumAndMinimumUseARoundKernel) {
    const Image dot = Image::fromPixels(grey(
        {{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 1, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}}));
    EXPECT_TRUE(same(dot.morphologyMaximum(1).pixels(), grey({{0, 0, 0, 0, 0},
                                                              {0, 0, 1, 0, 0},
                                                              {0, 1, 1, 1, 0},
                                                              {0, 0, 1, 0, 0},
                                                              {0, 0, 0, 0, 0}})));
    EXPECT_TRUE(same(dot.morphologyMaximum(2).pixels(), grey({{0, 0, 1, 0, 0},
                                                              {0, 1, 1, 1, 0},
                                                              {1, 1, 1, 1, 1},
                                                              {0, 1, 1, 1, 0},
                                                              {0, 0, 1, 0, 0}})));

    const Image white = Image::fromPixels(cv::Mat(5, 5, CV_32F, cv::Scalar(1)));
    // Clamped, the edge sees more white; unclamped, the transparent black outside eats in.
    EXPECT_TRUE(same(white.clampedToExtent().morphologyMinimum(1).pixels(), white.pixels()));
    EXPECT_TRUE(same(white.morphologyMinimum(1).pixels(), grey({{0, 0, 0, 0, 0},
                                                                {0, 1, 1, 1, 0},
                                                                {0, 1, 1, 1, 0},
                                                                {0, 1, 1, 1, 0},
                                                                {0, 0, 0, 0, 0}})));
}

TEST(Image, BlendingThroughAMask) {
    const Image frame = Image::fromPixels(solid(3, 1, {200, 100, 50, 255}));
    const Image red = Image::color(1, 0, 0).cropped({0, 0, 3, 1});
    const Image mask = Image::fromPixels(grey({{1, 0, 0.5f}}));
    const Image out = frame.blended(red, mask);
    EXPECT_EQ(at(out, 0, 0), cv::Vec4b(200, 100, 50, 255));  // white keeps the frame
    EXPECT_EQ(at(out, 1, 0), cv::Vec4b(0, 0, 255, 255));     // black gives the background
    EXPECT_EQ(at(out, 2, 0), cv::Vec4b(100, 50, 153, 255));  // half way, rounded

    const Image clear = frame.blended(Image::color(0, 0, 0, 0).cropped({0, 0, 3, 1}), mask);
    EXPECT_EQ(at(clear, 0, 0), cv::Vec4b(200, 100, 50, 255));
    EXPECT_EQ(at(clear, 1, 0), cv::Vec4b(0, 0, 0, 0));         // transparent, colour zeroed
    EXPECT_EQ(at(clear, 2, 0), cv::Vec4b(200, 100, 50, 128));  // straight alpha: colour kept
}

TEST(Image, SourceOverKeepsTheBackgroundWhereTheSourceIsMissingOrClear) {
    cv::Mat picture = solid(2, 1, {0, 0, 255, 255});
    picture.at<cv::Vec4b>(0, 1) = {0, 0, 255, 128};
    const Image black = Image::color(0, 0, 0).cropped({0, 0, 3, 1});
    const Image out = Image::fromPixels(picture).composited(black);
    EXPECT_EQ(out.extent(), (Rect{0, 0, 3, 1}));
    EXPECT_EQ(at(out, 0, 0), cv::Vec4b(0, 0, 255, 255));
    EXPECT_EQ(at(out, 1, 0), cv::Vec4b(0, 0, 128, 255));
    EXPECT_EQ(at(out, 2, 0), cv::Vec4b(0, 0, 0, 255));
}

// Large radii blur a reduced copy, odd sides included.
TEST(Image, LargeRadiusBlurMatchesTheExactBlur) {
    cv::Mat even(180, 320, CV_8UC4, cv::Scalar(30, 60, 90, 255));
    even(cv::Rect(100, 0, 220, 180)).setTo(cv::Scalar(220, 200, 180, 255));
    even(cv::Rect(0, 120, 320, 60)).setTo(cv::Scalar(0, 255, 40, 255));
    for (const cv::Mat& picture : {even, cv::Mat(even(cv::Rect(0, 0, 317, 179)))}) {
        for (double radius : {7.0, 25.0, 40.0}) {
            const Image blurred =
                Image::fromPixels(picture).clampedToExtent().gaussianBlurred(radius);
            cv::Mat exact;
            cv::GaussianBlur(picture, exact, cv::Size(), radius, radius, cv::BORDER_REPLICATE);
            cv::Mat difference;
            cv::absdiff(blurred.pixels(), exact, difference);
            const cv::Scalar mean = cv::mean(difference);
            double largest = 0;
            cv::minMaxLoc(difference.reshape(1), nullptr, &largest);
            for (int c = 0; c < 3; ++c) EXPECT_LE(mean[c], 1.0) << radius << " channel " << c;
            EXPECT_LE(largest, 4.0) << radius;
        }
    }
}

TEST(Rendering, DrawsIntoTheBufferClippingWhatLiesOutside) {
    cv::Mat pixels(4, 4, CV_8UC4, cv::Scalar(9, 9, 9, 255));
    pixels.at<cv::Vec4b>(3, 3) = {1, 2, 3, 255};
    auto buffer = *PixelBuffer::make(4, 4, PixelFormat::bgra8);
    ASSERT_TRUE(renderInto(Image::fromPixels(pixels, {-2, -2}), buffer));
    const cv::Mat out = matView(buffer);
    EXPECT_EQ(out.at<cv::Vec4b>(1, 1), cv::Vec4b(1, 2, 3, 255));
    EXPECT_EQ(out.at<cv::Vec4b>(0, 0), cv::Vec4b(9, 9, 9, 255));
    EXPECT_EQ(out.at<cv::Vec4b>(2, 2), cv::Vec4b(0, 0, 0, 0));
    auto greyBuffer = *PixelBuffer::make(2, 2, PixelFormat::gray8);
    EXPECT_FALSE(renderInto(Image::color(1, 1, 1), greyBuffer));
}

}  // namespace
}  // namespace pelliqo
