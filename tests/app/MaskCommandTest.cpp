#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <opencv2/imgcodecs.hpp>

#include "CommandRun.h"

namespace pelliqo {
namespace {

const std::string people = PELLIQO_TEST_DATA "/people/";
const std::string coffee = PELLIQO_TEST_DATA "/objects/coffee.png";

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

// The official MediaPipe solution's masks, to within 1 %.
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
        }
    }
}

// The share of a rectangle (in fractions of the mask) that is more likely subject than not.
double coverage(const cv::Mat& mask, double left, double top, double right, double bottom) {
    const cv::Rect area(
        cv::Point(static_cast<int>(left * mask.cols), static_cast<int>(top * mask.rows)),
        cv::Point(static_cast<int>(right * mask.cols), static_cast<int>(bottom * mask.rows)));
    return cv::countNonZero(mask(area) >= 128) / static_cast<double>(area.area());
}

TEST(MaskCommand, TheSubjectMaskCoversThingsAndPeopleAndFallsBackOnNothing) {
    QTemporaryDir dir;
    const auto written = [&](std::vector<std::string> args, const std::string& name) {
        const std::string out = dir.filePath(QString::fromStdString(name)).toStdString();
        args.push_back(out);
        EXPECT_EQ(mask(args), 0) << name;
        return cv::imread(out, cv::IMREAD_UNCHANGED);
    };
    const cv::Mat cup = written({"--subject-mask", coffee}, "cup.png");
    EXPECT_EQ(coverage(cup, 0.35, 0.3, 0.65, 0.7), 1.0);  // cup and saucer
    EXPECT_EQ(coverage(cup, 0.85, 0.0, 1.0, 0.15), 0.0);  // the table behind
    const cv::Mat noPerson = written({"--quality", "accurate", coffee}, "no-person.png");
    EXPECT_LT(coverage(noPerson, 0, 0, 1, 1), 0.01);

    const cv::Mat portrait = written({"--subject-mask", people + "grace_hopper.png"}, "gh.png");
    const cv::Mat reference =
        cv::imread(people + "grace_hopper.reference-balanced.png", cv::IMREAD_GRAYSCALE);
    EXPECT_GE(agreement(portrait, reference).iou, 0.9);

    const std::string plain = dir.filePath("plain.png").toStdString();
    ASSERT_TRUE(cv::imwrite(plain, cv::Mat(48, 64, CV_8UC3, cv::Scalar(40, 160, 90))));
    const cv::Mat fallback = written({"--subject-mask", "--quality", "balanced", plain}, "f.png");
    const cv::Mat person = written({"--quality", "balanced", plain}, "p.png");
    EXPECT_EQ(cv::norm(fallback, person, cv::NORM_INF), 0);
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

    // A terminal would show the picture's bytes as garbage, and take some as commands; read,
    // it would wait on the keyboard.
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (terminal < 0) GTEST_SKIP() << "this machine has no pseudo-terminals (/dev/pts)";
    ASSERT_EQ(grantpt(terminal) | unlockpt(terminal), 0);
    EXPECT_EQ(mask({people + "camera.png", ptsname(terminal)}, &err), 2);
    EXPECT_NE(err.find("OUTPUT is a terminal"), std::string::npos);
    EXPECT_EQ(mask({ptsname(terminal), out}, &err), 2);
    EXPECT_NE(err.find("INPUT is a terminal"), std::string::npos);
    char shown;
    EXPECT_EQ(read(terminal, &shown, 1), -1);  // nothing came
    close(terminal);
}

}  // namespace
}  // namespace pelliqo
