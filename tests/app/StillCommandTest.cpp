#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <opencv2/imgcodecs.hpp>

#include "CommandRun.h"
#include "Damage.h"
#include "Processes.h"

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
    // The same, through pipes both ways, named as other tools name them.
    const std::string piped = dir.filePath("piped.png").toStdString();
    const test::ProgramRun run =
        test::runThroughPipes("still --background transparent - -", photo, piped);
    ASSERT_EQ(run.code, 0) << run.output;
    EXPECT_EQ(cv::norm(cv::imread(piped, cv::IMREAD_UNCHANGED), withAlpha, cv::NORM_INF), 0);

    const std::string green = dir.filePath("green.png").toStdString();
    ASSERT_EQ(still({"--color", "0,1,0", photo, green}), 0);
    const cv::Mat opaque = cv::imread(green, cv::IMREAD_UNCHANGED);
    ASSERT_EQ(opaque.type(), CV_8UC3);
    EXPECT_EQ(opaque.at<cv::Vec3b>(5, 5), cv::Vec3b(0, 255, 0));
    EXPECT_EQ(opaque.size(), cv::imread(photo).size());

    const std::string jpeg = dir.filePath("photo.jpg").toStdString();  // the kind its name says
    ASSERT_EQ(still({photo, jpeg}), 0);
    EXPECT_EQ(test::bytesOf(jpeg).substr(0, 3), "\xFF\xD8\xFF");

    // A background picture that can't be read is refused, not quietly black.
    std::string err;
    EXPECT_EQ(still({"--picture", dir.filePath("none.png").toStdString(), photo, jpeg}, &err), 1);
    EXPECT_EQ(err,
              "pelliqo: can't read " + dir.filePath("none.png").toStdString() + " as an image.\n");
}

// The picture does not fit: the command fails, and the file that was there is all there is.
TEST(StillCommand, AFullDiskKeepsTheFileThatWasThere) {
    QTemporaryDir dir;
    const auto run = test::runOnSmallDisk(
        dir.filePath("disk").toStdString(), "16k",
        "printf old > \"$1/out.png\"; \"$2\" still --background blur \"$3\" \"$1/out.png\"; "
        "echo \"exit $?\"; cat \"$1/out.png\"; echo; ls -A \"$1\"",
        {PELLIQO_EXECUTABLE, photo});
    if (!run) GTEST_SKIP() << "no private file system here";
    EXPECT_NE(run->output.find("pelliqo: can't write "), std::string::npos) << run->output;
    EXPECT_TRUE(run->output.ends_with("exit 1\nold\nout.png\n")) << run->output;
}

}  // namespace
}  // namespace pelliqo
