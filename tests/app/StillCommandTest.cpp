#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <opencv2/imgcodecs.hpp>

#include "CommandRun.h"

namespace pelliqo {
namespace {

const std::string photo = PELLIQO_TEST_DATA "/people/grace_hopper.png";

int still(std::vector<std::string> args, std::string* err = nullptr) {
    args.insert(args.begin(), "still");
    const auto result = test::runCommand(args);
    if (err) *err = result.err;
    return result.code;
}

TEST(StillCommand, TransparentPicturesCarryAlphaAndOthersDoNot) {
    QTemporaryDir dir;
    const std::string clear = dir.filePath("clear.png").toStdString();
    ASSERT_EQ(still({"--background", "transparent", photo, clear}), 0);
    const cv::Mat withAlpha = cv::imread(clear, cv::IMREAD_UNCHANGED);
    ASSERT_EQ(withAlpha.type(), CV_8UC4);
    EXPECT_EQ(withAlpha.at<cv::Vec4b>(withAlpha.rows - 1, withAlpha.cols / 2)[3], 255);  // jacket
    EXPECT_EQ(withAlpha.at<cv::Vec4b>(5, 5)[3], 0);  // the background is gone

    const std::string green = dir.filePath("green.png").toStdString();
    ASSERT_EQ(still({"--color", "0,1,0", photo, green}), 0);
    const cv::Mat opaque = cv::imread(green, cv::IMREAD_UNCHANGED);
    ASSERT_EQ(opaque.type(), CV_8UC3);
    EXPECT_EQ(opaque.at<cv::Vec3b>(5, 5), cv::Vec3b(0, 255, 0));
    EXPECT_EQ(opaque.size(), cv::imread(photo).size());
}

}  // namespace
}  // namespace pelliqo
