#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <tuple>

#include "platform/image/ImageFile.h"
#include "platform/image/MatView.h"
#include "platform/image/Motion.h"
#include "platform/inference/ModelDirectory.h"
#include "platform/inference/RvmEngine.h"
#include "platform/inference/SegmentationEngine.h"

namespace pelliqo {
namespace {

std::shared_ptr<SegmentationEngine> installed(SegmentationLevel level) {
    auto models = ModelDirectory::open(PELLIQO_MODEL_DIR);
    if (!models) return nullptr;
    auto engine = makeSegmentationEngine(level, models.value());
    return engine ? engine.value() : nullptr;
}

SegmentationInput grey(int w, int h) {
    return {cv::Mat(h, w, CV_8UC4, cv::Scalar(120, 130, 140, 255))};
}

TEST(SegmentationEngine, TinyWideAndOddFramesGiveAMaskOrNothingButNeverCrash) {
    for (SegmentationLevel level :
         {SegmentationLevel::fast, SegmentationLevel::balanced, SegmentationLevel::accurate}) {
        const auto engine = installed(level);
        ASSERT_TRUE(engine);
        for (auto [w, h] : {std::pair{1, 1}, {2, 2}, {4000, 100}, {100, 4000}, {33, 17}}) {
            const auto mask = engine->segment(grey(w, h));
            if (mask) {
                EXPECT_GT(mask->width(), 0);
            }
        }
        EXPECT_FALSE(engine->segment(SegmentationInput{}));
        EXPECT_FALSE(engine->segment({cv::Mat(4, 4, CV_8UC3)}));
    }
}

double meanDifference(const PixelBuffer& a, const PixelBuffer& b) {
    return cv::norm(matView(a), matView(b), cv::NORM_L1) / (255.0 * a.width() * a.height());
}

TEST(RvmEngine, StatesCarryFromFrameToFrameAndResetStartsAgain) {
    const auto engine = installed(SegmentationLevel::accurate);
    ASSERT_TRUE(engine);
    const auto photo = readImageFile(PELLIQO_TEST_DATA "/people/grace_hopper.png");
    ASSERT_TRUE(photo);
    const SegmentationInput input{matView(*photo)};
    const auto first = engine->segment(input);
    ASSERT_TRUE(first);
    std::vector<PixelBuffer> masks{*first};
    for (int i = 0; i < 5; ++i) masks.push_back(*engine->segment(input));
    const double early = meanDifference(masks[0], masks[1]);
    const double late = meanDifference(masks[4], masks[5]);
    EXPECT_GT(early, 0.0) << "the second frame should differ: the states must have been used";
    EXPECT_LT(late, early);
    EXPECT_LT(late, 0.002);

    engine->resetState();
    const auto again = engine->segment(input);
    ASSERT_TRUE(again);
    EXPECT_EQ(meanDifference(*again, *first), 0.0);
}

// Where they left, the mask is close to what an engine without memory sees.
TEST(RvmEngine, AWalkingPersonLeavesNoGhost) {
    const auto engine = installed(SegmentationLevel::accurate);
    ASSERT_TRUE(engine);
    const auto photo = readImageFile(PELLIQO_TEST_DATA "/people/grace_hopper.png");
    ASSERT_TRUE(photo);
    const auto walked = [picture = matView(*photo)](int by) {
        cv::Mat frame;
        cv::copyMakeBorder(picture(cv::Rect(0, 0, picture.cols - by, picture.rows)), frame, 0, 0,
                           by, 0, cv::BORDER_REPLICATE);
        return frame;
    };
    const int step = photo->width() / 80, frames = 12;
    const cv::Size size = static_cast<RvmEngine&>(*engine).sizeFor(photo->width(), photo->height());
    Motion motion;
    cv::Mat last;
    std::optional<PixelBuffer> mask;
    for (int i = 0; i <= frames; ++i) {
        SegmentationInput input{walked(i * step)};
        cv::Mat grey;
        cv::cvtColor(input.pixels, grey, cv::COLOR_BGRA2GRAY);
        cv::resize(grey, grey, size, 0, 0, cv::INTER_AREA);
        if (!last.empty()) input.motion = motion.since(last, grey);
        last = grey;
        mask = engine->segment(input);
    }
    const auto fresh = [&](int i) {
        engine->resetState();
        return matView(*engine->segment({walked(i * step)})).clone();
    };
    const cv::Mat left = (fresh(frames - 3) > 128) & (fresh(frames) < 64);
    ASSERT_GT(cv::countNonZero(left), 50);
    const double ghost = cv::mean(matView(*mask), left)[0] - cv::mean(fresh(frames), left)[0];
    EXPECT_LT(ghost, 10) << "grey levels of ghost";  // 16 with a memory that keeps them
}

TEST(RvmEngine, QuickFramesRunAtTheSmallerSizeOfTheirShape) {
    const auto engine = installed(SegmentationLevel::accurate);
    ASSERT_TRUE(engine);
    for (const auto& [w, h, quick, expected] : {std::tuple{1280, 720, false, cv::Size(320, 176)},
                                                {1280, 720, true, cv::Size(256, 144)},
                                                {720, 1280, true, cv::Size(144, 256)},
                                                {640, 640, true, cv::Size(192, 192)}}) {
        SegmentationInput input = grey(w, h);
        input.quick = quick;
        const auto mask = engine->segment(input);
        ASSERT_TRUE(mask) << w << "x" << h;
        EXPECT_EQ(cv::Size(mask->width(), mask->height()), expected) << w << "x" << h << quick;
    }
}

}  // namespace
}  // namespace pelliqo
