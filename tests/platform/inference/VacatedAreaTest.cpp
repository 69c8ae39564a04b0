#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "platform/image/Motion.h"
#include "platform/inference/VacatedArea.h"

namespace pelliqo {
namespace {

// A textured square (the person) moves 8 pixels right over texture.
TEST(VacatedArea, IsTheBandThePersonLeftAndOnlyThereIsForgotten) {
    cv::Mat noise(96, 128, CV_8UC1);
    cv::RNG(7).fill(noise, cv::RNG::UNIFORM, 0, 255);
    cv::GaussianBlur(noise, noise, {5, 5}, 1.5);
    const auto frame = [&](int x) {
        cv::Mat picture = noise.clone(), mask(96, 128, CV_8U, cv::Scalar(0));
        cv::Mat square = 255 - noise(cv::Rect(80, 40, 32, 32));
        square.copyTo(picture(cv::Rect(x, 32, 32, 32)));
        mask(cv::Rect(x, 32, 32, 32)).setTo(255);
        return std::pair{picture, mask};
    };
    const auto [lastPicture, lastMask] = frame(40);
    const cv::Mat picture = frame(48).first;
    const cv::Mat motion = Motion().since(lastPicture, picture);
    const cv::Mat vacated = vacatedArea(motion, lastMask);
    ASSERT_EQ(vacated.size(), cv::Size(128, 96));
    EXPECT_GT(cv::mean(vacated(cv::Rect(39, 34, 4, 26)))[0], 0.2);    // left behind
    EXPECT_LT(cv::mean(vacated(cv::Rect(48, 34, 24, 26)))[0], 0.02);  // still there
    EXPECT_LT(cv::mean(vacated(cv::Rect(0, 0, 128, 24)))[0], 0.02);   // never there

    const int shape[] = {1, 2, 24, 32};
    cv::Mat state(4, shape, CV_32F, cv::Scalar(1));
    forgetWhereVacated(state, vacated, 2, 1.25f);
    for (int c = 0; c < 2; ++c) {
        const cv::Mat plane(24, 32, CV_32F, state.ptr<float>(0, c));
        EXPECT_LT(plane.at<float>(12, 10), 0.5f);  // over the band
        EXPECT_EQ(plane.at<float>(2, 2), 1.0f);    // far from it
        EXPECT_EQ(plane.at<float>(12, 24), 1.0f);
    }
    EXPECT_TRUE(vacatedArea(motion, lastMask(cv::Rect(0, 0, 64, 48))).empty());  // other sizes
}

}  // namespace
}  // namespace pelliqo
