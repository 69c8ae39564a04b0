#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "Pictures.h"
#include "engine/MaskHistory.h"
#include "platform/image/MatView.h"

namespace pelliqo {
namespace {

constexpr int side = 96;

// A picture with detail everywhere, as a camera sees a room: smoothed noise.
cv::Mat texture(std::uint64_t seed) {
    cv::Mat noise(side, side, CV_8U);
    cv::RNG(seed).fill(noise, cv::RNG::UNIFORM, 0, 256);
    cv::Mat smooth;
    cv::GaussianBlur(noise, smooth, cv::Size(), 1.5);
    cv::normalize(smooth, smooth, 0, 255, cv::NORM_MINMAX);
    return smooth;
}

// A person: a disc with a soft edge, at (x, y); brightness 0 to `inside`.
cv::Mat disc(int x, int y, double inside = 255) {
    cv::Mat mask(side, side, CV_8U, cv::Scalar(0));
    cv::circle(mask, {x, y}, 24, cv::Scalar(inside), cv::FILLED, cv::LINE_AA);
    cv::GaussianBlur(mask, mask, cv::Size(), 2);
    return mask;
}

// Moved right by dx; what comes in at the left is the picture's mirror image, or no person.
cv::Mat shifted(const cv::Mat& picture, int dx, int border = cv::BORDER_REFLECT) {
    cv::Mat out;
    cv::warpAffine(picture, out, cv::Mat_<double>({2, 3}, {1, 0, double(dx), 0, 1, 0}),
                   picture.size(), cv::INTER_NEAREST, border);
    return out;
}

cv::Mat smoothed(MaskHistory& history, const cv::Mat& mask, const cv::Mat& picture) {
    const auto out = history.smoothed(test::bufferOf(mask), picture);
    return out ? matView(*out).clone() : cv::Mat();
}

double largestDifference(const cv::Mat& a, const cv::Mat& b, const cv::Mat& where = {}) {
    return cv::norm(a, b, cv::NORM_INF, where);
}

// The engine wavers by ±12 where it is unsure.
cv::Mat wavering(const cv::Mat& mask, int frame) {
    cv::Mat out = mask.clone();
    cv::add(mask, cv::Scalar(frame % 2 ? 12 : -12), out, mask > 64);
    return out;
}

// An unsure edge keeps still while the engine wavers; a sure change is followed.
TEST(MaskHistory, AStillEdgeStaysStill) {
    MaskHistory history;
    const cv::Mat picture = texture(1);
    const cv::Mat unsure = disc(48, 48, 128);
    smoothed(history, unsure, picture);
    cv::Mat out;
    for (int i = 0; i < 6; ++i) {
        const cv::Mat before = out;
        out = smoothed(history, wavering(unsure, i), picture);
        if (!before.empty()) {
            EXPECT_LE(largestDifference(out, before), 3) << i;
        }
    }
    const cv::Mat gone(side, side, CV_8U, cv::Scalar(0));
    for (int i = 0; i < 2; ++i) smoothed(history, gone, picture);
    EXPECT_LE(cv::mean(smoothed(history, gone, picture))[0], cv::mean(unsure)[0] * 0.4);
}

TEST(MaskHistory, AMovedMaskFollowsWithinOneFrameAndStaysSteady) {
    MaskHistory history;
    const cv::Mat picture = texture(2);
    const cv::Mat unsure = disc(40, 48, 128);
    for (int i = 0; i < 3; ++i) smoothed(history, unsure, picture);
    cv::Mat before = unsure;
    for (int i = 1; i <= 3; ++i) {
        const cv::Mat moved = shifted(unsure, 6 * i, cv::BORDER_CONSTANT);
        const cv::Mat out = smoothed(history, wavering(moved, i), shifted(picture, 6 * i));
        const cv::Mat left = (before > 64) & (moved < 8);
        ASSERT_GT(cv::countNonZero(left), 0);
        EXPECT_LE(largestDifference(out, moved, left), 12) << i;
        EXPECT_LE(largestDifference(out, moved, moved > 64), 7) << i;  // half the waver, and 1
        before = moved;
    }
}

// A person steps in, covering what was there: there the new mask is taken at once.
TEST(MaskHistory, WhatAppearsTakesTheNewMask) {
    MaskHistory history;
    const cv::Mat room = texture(3);
    const cv::Mat empty(side, side, CV_8U, cv::Scalar(0));
    for (int i = 0; i < 3; ++i) smoothed(history, empty, room);
    cv::Mat entered = room.clone();
    const cv::Mat person = disc(48, 48);
    texture(4).copyTo(entered, person > 0);
    const cv::Mat out = smoothed(history, person, entered);
    EXPECT_GE(cv::mean(out, person > 250)[0], 250);
    cv::Mat around = out.clone();
    around.setTo(0, person > 0);
    EXPECT_EQ(cv::countNonZero(around), 0);
}

TEST(MaskHistory, WithoutANewMaskTheHistoryIsCarriedAlongTheMotion) {
    MaskHistory history;
    const cv::Mat picture = texture(6);
    const cv::Mat person = disc(40, 48);
    smoothed(history, person, picture);
    for (int i = 1; i <= 3; ++i) {
        const auto carried = history.carriedTo(shifted(picture, 4 * i), 0.1);
        ASSERT_TRUE(carried) << i;
        const cv::Mat moved = shifted(person, 4 * i, cv::BORDER_CONSTANT);
        EXPECT_LE(largestDifference(matView(*carried), moved), 6) << i;
    }
    EXPECT_FALSE(history.carriedTo(texture(7), 0.1));  // another picture: nothing to follow
}

TEST(MaskHistory, UnreadableMasksAndNewSizes) {
    MaskHistory history;
    const cv::Mat picture = texture(5);
    smoothed(history, disc(48, 48), picture);
    EXPECT_FALSE(
        history.smoothed(PixelBuffer::make(side, side, PixelFormat::bgra8).value(), picture));
    const cv::Mat smaller(10, 10, CV_8U, cv::Scalar(77));
    EXPECT_EQ(largestDifference(smoothed(history, smaller, picture), smaller), 0);
}

}  // namespace
}  // namespace pelliqo
