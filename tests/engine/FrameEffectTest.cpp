#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "Pictures.h"
#include "engine/FrameEffect.h"
#include "engine/RawValue.h"
#include "platform/image/MatView.h"

namespace pelliqo {
namespace {

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
    return test::solidBuffer(8, 6, {0, 0, 255, 255});
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
    ASSERT_TRUE(e.effect.apply(redFrame(), settings));
    EXPECT_EQ(e.engine->calls, 0);
    settings.showMask = true;
    ASSERT_TRUE(e.effect.apply(redFrame(), settings));
    EXPECT_EQ(e.engine->calls, 1);
    // A colour background behind a frame that is all background.
    settings = {};
    settings.kind = BackgroundKind::color;
    settings.setColor(Color{0, 0, 1, 1});
    settings.reduceFlicker = false;  // not blended with the white mask before
    e.engine->value = 0;
    const auto replaced = e.effect.apply(redFrame(), settings);
    EXPECT_EQ(replaced->pixels().at<cv::Vec4b>(2, 2), cv::Vec4b(255, 0, 0, 255));
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

    // A frame the engine skips gets the last mask carried on, in a stream that keeps one.
    const auto carried = [&](FrameEffect::Frames frames, bool smooth) {
        Effect e(frames);
        settings.reduceFlicker = smooth;
        e.effect.neededMask(redFrame(), settings);
        const auto mask = e.effect.carriedMask(redFrame(), settings);
        EXPECT_EQ(e.engine->calls, 1);
        return mask ? mask->pixels().at<float>(1, 1) : -1.0f;
    };
    EXPECT_EQ(carried(FrameEffect::Frames::live, true), 1.0f);
    EXPECT_EQ(carried(FrameEffect::Frames::stills, true), -1.0f);
    EXPECT_EQ(carried(FrameEffect::Frames::live, false), -1.0f);
}

// A 4:2:0 frame is segmented in its half-size picture; that road's movies are HD.
TEST(FrameEffect, FourTwoZeroFramesFindThePersonTheirBgraFramesDo) {
    for (const std::string photo : {"astronaut", "camera", "grace_hopper"}) {
        cv::Mat photoBgra, bgra;
        cv::cvtColor(cv::imread(PELLIQO_TEST_DATA "/people/" + photo + ".png"), photoBgra,
                     cv::COLOR_BGR2BGRA);
        cv::resize(photoBgra, bgra, {photoBgra.cols * 720 / photoBgra.rows / 2 * 2, 720});
        auto buffer = PixelBuffer::make(bgra.cols, bgra.rows, PixelFormat::bgra8).value();
        bgra.copyTo(matView(buffer));
        const auto yuv = Yuv420Frame::make(bgra.cols, bgra.rows).value();
        ASSERT_TRUE(convertToYuv420(buffer, yuv.planes()));
        for (const auto quality :
             {QualityChoice::fast, QualityChoice::balanced, QualityChoice::accurate}) {
            SCOPED_TRACE(photo + " " + std::string(rawValue(quality)));
            EffectSettings s;
            s.quality = quality;
            const auto full = FrameEffect(FrameEffect::Frames::stills).neededMask(buffer, s);
            const auto half = FrameEffect(FrameEffect::Frames::stills).neededMask(yuv, s);
            ASSERT_TRUE(full && half);
            ASSERT_EQ(full->pixels().size(), half->pixels().size());
            const cv::Mat a = full->pixels() >= 0.5f, b = half->pixels() >= 0.5f;
            EXPECT_GE(cv::countNonZero(a & b) / double(cv::countNonZero(a | b)), 0.97);
        }
    }
}

}  // namespace
}  // namespace pelliqo
