#include <gtest/gtest.h>

#include "platform/MatView.h"
#include "platform/ModelDirectory.h"
#include "platform/SegmentationEngine.h"

namespace pelliqo {
namespace {

// The installed models, converted by the setup script.
std::shared_ptr<SegmentationEngine> installed(SegmentationLevel level) {
    auto models = ModelDirectory::open(PELLIQO_MODEL_DIR);
    if (!models) return nullptr;
    auto engine = makeSegmentationEngine(level, models.value());
    return engine ? engine.value() : nullptr;
}

SegmentationInput grey(int w, int h) {
    return {cv::Mat(h, w, CV_8UC4, cv::Scalar(120, 130, 140, 255)), SegmentationInput::Order::bgra};
}

TEST(SegmentationEngine, MasksComeAtTheEnginesOwnResolution) {
    struct Case {
        SegmentationLevel level;
        int width, height;
    };
    for (const Case c :
         {Case{SegmentationLevel::fast, 256, 144}, Case{SegmentationLevel::balanced, 256, 256}}) {
        const auto engine = installed(c.level);
        ASSERT_TRUE(engine) << "models missing in " << PELLIQO_MODEL_DIR;
        const auto mask = engine->segment(grey(640, 360));
        ASSERT_TRUE(mask);
        EXPECT_EQ(mask->width(), c.width);
        EXPECT_EQ(mask->height(), c.height);
        EXPECT_EQ(mask->format(), PixelFormat::gray8);
    }
}

TEST(SegmentationEngine, TinyWideAndOddFramesGiveAMaskOrNothingButNeverCrash) {
    for (SegmentationLevel level : {SegmentationLevel::fast, SegmentationLevel::balanced}) {
        const auto engine = installed(level);
        ASSERT_TRUE(engine);
        for (auto [w, h] : {std::pair{1, 1}, {2, 2}, {4000, 100}, {100, 4000}, {33, 17}}) {
            const auto mask = engine->segment(grey(w, h));
            if (mask) {
                EXPECT_GT(mask->width(), 0);
            }
        }
        EXPECT_FALSE(engine->segment(SegmentationInput{}));
        EXPECT_FALSE(engine->segment({cv::Mat(4, 4, CV_8UC3), SegmentationInput::Order::bgra}));
    }
}

TEST(SegmentationEngine, NoSubjectEngineIsOffered) {
    EXPECT_FALSE(subjectEngineOffered());
}

}  // namespace
}  // namespace pelliqo
