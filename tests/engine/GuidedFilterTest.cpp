#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "engine/GuidedFilter.h"

namespace pelliqo {
namespace {

cv::Mat plainlyScaled(const cv::Mat& mask, cv::Size size) {
    cv::Mat out;
    cv::resize(mask, out, size, 0, 0, cv::INTER_LINEAR);
    return out;
}

// A dark person in the left 13 of 32 columns, and the 8 × 2 mask an engine would make of it.
struct Scene {
    cv::Mat picture{8, 32, CV_8U, cv::Scalar(200)};
    cv::Mat mask;
    Scene() {
        picture.colRange(0, 13).setTo(40);
        cv::resize(picture < 128, mask, cv::Size(8, 2), 0, 0, cv::INTER_AREA);
        mask.convertTo(mask, CV_32F, 1.0 / 255);
    }
};

// Columns of a row that are neither person (≥ 0.9) nor background (≤ 0.1).
int edgeWidth(const cv::Mat& mask, int y) {
    int n = 0;
    for (int x = 0; x < mask.cols; ++x)
        n += mask.at<float>(y, x) > 0.1f && mask.at<float>(y, x) < 0.9f;
    return n;
}

TEST(GuidedFilter, EdgesMoveOntoThePictureFlatPicturesKeepTheMaskAtTheSizeAsked) {
    const Scene scene;
    const cv::Mat guided = GuidedFilter{}.upscaled(scene.mask, scene.picture, {32, 8});
    const cv::Mat plain = plainlyScaled(scene.mask, {32, 8});
    for (int y = 0; y < 8; ++y) {
        EXPECT_GT(guided.at<float>(y, 12), 0.5f);
        EXPECT_LT(guided.at<float>(y, 13), 0.5f);
        EXPECT_EQ(edgeWidth(plain, y), 5);
        EXPECT_EQ(edgeWidth(guided, y), 3);
    }
    // A shirt the colour of the wall: nothing to follow.
    const cv::Mat flat(8, 32, CV_8U, cv::Scalar(120));
    EXPECT_LT(cv::norm(GuidedFilter{}.upscaled(scene.mask, flat, {32, 8}), plain, cv::NORM_INF),
              1e-5);

    // Made at the size asked, smaller than the guide's; a larger mask is shrunk to it.
    const cv::Mat half = GuidedFilter{}.upscaled(scene.mask, scene.picture, {16, 4});
    EXPECT_EQ(half.size(), cv::Size(16, 4));
    const cv::Mat big = plainlyScaled(scene.mask, {64, 16});
    EXPECT_EQ(GuidedFilter{}.upscaled(big, scene.picture, {16, 4}).size(), cv::Size(16, 4));
    EXPECT_EQ(GuidedFilter{}.upscaled(cv::Mat(0, 0, CV_32F), scene.picture, {4, 4}).size(),
              cv::Size(4, 4));
}

}  // namespace
}  // namespace pelliqo
