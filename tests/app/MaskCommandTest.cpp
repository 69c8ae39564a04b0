#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <opencv2/imgcodecs.hpp>

#include "CommandRun.h"

namespace pelliqo {
namespace {

const std::string people = PELLIQO_TEST_DATA "/people/";

struct Agreement {
    double iou;
    double meanAbsoluteDifference;
};

// Agreement of two grey masks: IoU of the parts above one half, and the mean difference.
Agreement agreement(const cv::Mat& a, const cv::Mat& b) {
    cv::Mat inA = a >= 128, inB = b >= 128;
    const double both = cv::countNonZero(inA & inB);
    const double either = cv::countNonZero(inA | inB);
    cv::Mat difference;
    cv::absdiff(a, b, difference);
    return {either > 0 ? both / either : 1.0, cv::mean(difference)[0] / 255.0};
}

int mask(std::vector<std::string> args, std::string* err = nullptr) {
    args.insert(args.begin(), "mask");
    const auto result = test::runCommand(args);
    if (err) *err = result.err;
    return result.code;
}

// The official MediaPipe solution's masks of three photos, to within 1% (IoU ≥ 0.99 at
// one half, mean absolute difference ≤ 0.01).
TEST(MaskCommand, AgreesWithTheReferenceMasks) {
    QTemporaryDir dir;
    for (const std::string photo : {"astronaut", "camera", "grace_hopper"}) {
        for (const std::string quality : {"fast", "balanced"}) {
            const std::string out =
                dir.filePath(QString::fromStdString(photo + quality + ".png")).toStdString();
            ASSERT_EQ(mask({"--quality", quality, people + photo + ".png", out}), 0);
            const cv::Mat ours = cv::imread(out, cv::IMREAD_UNCHANGED);
            const cv::Mat reference =
                cv::imread(people + photo + ".reference-" + quality + ".png", cv::IMREAD_GRAYSCALE);
            ASSERT_EQ(ours.type(), CV_8UC1);
            ASSERT_EQ(ours.size(), reference.size());
            const Agreement a = agreement(ours, reference);
            EXPECT_GE(a.iou, 0.99) << photo << " " << quality;
            EXPECT_LE(a.meanAbsoluteDifference, 0.01) << photo << " " << quality;
            RecordProperty(photo + "_" + quality + "_iou", std::to_string(a.iou));
        }
    }
}

TEST(MaskCommand, BadUseAndUnreadableInput) {
    QTemporaryDir dir;
    const std::string out = dir.filePath("m.png").toStdString();
    std::string err;
    EXPECT_EQ(mask({"--quality", "ultra", people + "camera.png", out}, &err), 2);
    EXPECT_EQ(mask({people + "README.md", out}, &err), 1);
    EXPECT_EQ(err, "pelliqo: can't read " + people + "README.md as an image.\n");
    EXPECT_EQ(mask({dir.filePath("nothing.png").toStdString(), out}, &err), 1);

    EXPECT_EQ(
        mask({people + "camera.png", dir.filePath("no/such/folder/m.png").toStdString()}, &err), 1);
    EXPECT_NE(err.find("can't write"), std::string::npos);
}

}  // namespace
}  // namespace pelliqo
