#include <gtest/gtest.h>

#include "engine/FrameEffect.h"
#include "platform/image/MatView.h"

namespace pelliqo {
namespace {

// An engine that answers every frame with a mask of one grey value, counting its calls.
class GreyEngine : public SegmentationEngine {
  public:
    std::uint8_t value = 255;
    int calls = 0;
    std::optional<PixelBuffer> segment(const SegmentationInput&) override {
        ++calls;
        auto mask = *PixelBuffer::make(4, 3, PixelFormat::gray8);
        matView(mask).setTo(value);
        return mask;
    }
};

PixelBuffer redFrame() {
    auto frame = *PixelBuffer::make(8, 6, PixelFormat::bgra8);
    matView(frame).setTo(cv::Scalar(0, 0, 255, 255));
    return frame;
}

struct Effect {
    explicit Effect(FrameEffect::Frames frames)
        : effect(frames, [this](SegmentationLevel) { return engine; }) {}
    std::shared_ptr<GreyEngine> engine = std::make_shared<GreyEngine>();
    FrameEffect effect;
};

TEST(FrameEffect, OnlyABackgroundOrTheMaskViewNeedsAMask) {
    Effect e(FrameEffect::Frames::video);
    EffectSettings settings;
    settings.kind = BackgroundKind::none;
    const auto untouched = e.effect.apply(redFrame(), settings);
    ASSERT_TRUE(untouched);
    EXPECT_EQ(e.engine->calls, 0);
    EXPECT_EQ(untouched->extent(), (Rect{0, 0, 8, 6}));
    EXPECT_EQ(untouched->pixels().at<cv::Vec4b>(2, 2), cv::Vec4b(0, 0, 255, 255));
    settings.showMask = true;
    ASSERT_TRUE(e.effect.apply(redFrame(), settings));
    EXPECT_EQ(e.engine->calls, 1);
    // A colour background behind a frame that is all background.
    settings = {};
    settings.kind = BackgroundKind::color;
    settings.reduceFlicker = false;  // not blended with the white mask before
    e.engine->value = 0;
    const auto replaced = e.effect.apply(redFrame(), settings);
    EXPECT_EQ(replaced->pixels().at<cv::Vec4b>(2, 2), cv::Vec4b(77, 153, 26, 255));
}

TEST(FrameEffect, VideoFramesBlendTheirMasksAndStillsNever) {
    EffectSettings settings;
    settings.showMask = true;
    settings.edgeSoftness = 0;
    const auto maskValue = [&](FrameEffect::Frames frames) {
        Effect e(frames);
        e.effect.apply(redFrame(), settings);
        e.engine->value = 0;
        const auto second = e.effect.apply(redFrame(), settings);
        return static_cast<int>(second->pixels().at<cv::Vec4b>(3, 4)[0]);
    };
    EXPECT_GT(maskValue(FrameEffect::Frames::video), 0);
    EXPECT_EQ(maskValue(FrameEffect::Frames::stills), 0);
    settings.reduceFlicker = false;
    EXPECT_EQ(maskValue(FrameEffect::Frames::video), 0);
}

}  // namespace
}  // namespace pelliqo
