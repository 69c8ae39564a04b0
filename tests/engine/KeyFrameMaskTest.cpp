#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "engine/KeyFrameMask.h"

namespace pelliqo {
namespace {

// A still picture with detail everywhere, so its motion can be followed (and is none).
cv::Mat still() {
    cv::Mat noise(48, 64, CV_8U);
    cv::RNG(7).fill(noise, cv::RNG::UNIFORM, 0, 256);
    cv::GaussianBlur(noise, noise, cv::Size(), 1.5);
    return noise;
}

cv::Mat masks(std::initializer_list<cv::Rect> set) {
    cv::Mat mask(48, 64, CV_8U, cv::Scalar(0));
    for (const cv::Rect& r : set) mask(r).setTo(255);
    return mask;
}

const cv::Rect person{10, 10, 10, 20};
const cv::Rect object{40, 10, 5, 20};  // held by the subject mask, not a person

TEST(KeyFrameMask, BetweenKeyFramesTheSubjectFollowsItsPeopleUntilTooMuchChanges) {
    KeyFrameMask frames(4);
    EXPECT_FALSE(frames.between(masks({person}), still())) << "no key frame yet";
    frames.keyFrame(masks({person, object}), masks({person}), still());

    for (int i = 1; i < 4; ++i) {
        const auto mask = frames.between(masks({person}), still());
        ASSERT_TRUE(mask) << i;
        EXPECT_EQ(cv::countNonZero(*mask != masks({person, object})), 0) << i;
    }
    EXPECT_FALSE(frames.between(masks({person}), still())) << "a key frame is due";

    // The person stepped right by two columns, and a stranger (not in the subject) came in:
    // where the picture changed, the subject follows the person...
    const cv::Rect stepped = person + cv::Point(2, 0);
    const cv::Rect stranger{55, 10, 2, 3};
    cv::Mat changed = still();
    const cv::Rect left{10, 10, 2, 20}, covered{20, 10, 2, 20};
    for (const cv::Rect& r : {left, covered, stranger}) changed(r) += cv::Scalar(60);
    frames.keyFrame(masks({person, object}), masks({person}), still());
    auto mask = frames.between(masks({stepped, stranger}), changed);
    ASSERT_TRUE(mask);
    // At one half: the motion measured across a changed picture softens a few values.
    EXPECT_EQ(cv::countNonZero((*mask >= 128) != masks({stepped, object})), 0);
    // ...where it is still, a person mask that changes is the person engine wavering.
    frames.keyFrame(masks({person, object}), masks({person}), still());
    mask = frames.between(masks({stepped, stranger}), still());
    ASSERT_TRUE(mask);
    EXPECT_EQ(cv::countNonZero(*mask != masks({person, object})), 0);

    // Too much change, or lost motion, asks for a key frame.
    frames.keyFrame(masks({person, object}), masks({person}), still());
    EXPECT_FALSE(frames.between(masks({{0, 0, 64, 48}}), still())) << "everyone moved";
    frames.keyFrame(masks({person, object}), masks({person}), still());
    cv::Mat other;
    cv::flip(still(), other, 1);
    EXPECT_FALSE(frames.between(masks({person}), other)) << "the motion was lost";
}

}  // namespace
}  // namespace pelliqo
