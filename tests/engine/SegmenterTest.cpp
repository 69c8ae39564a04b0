#include <gtest/gtest.h>

#include <deque>
#include <limits>

#include "Pictures.h"
#include "engine/Segmenter.h"
#include "platform/image/MatView.h"

namespace pelliqo {
namespace {

// Hands out the masks it was given, one per call, and fails when it has none left.
class ScriptedEngine : public SegmentationEngine {
  public:
    std::deque<std::optional<PixelBuffer>> masks;
    int resets = 0;

    std::optional<PixelBuffer> segment(const SegmentationInput&) override {
        std::optional<PixelBuffer> next;
        if (masks.empty()) return next;
        next.swap(masks.front());
        masks.pop_front();
        return next;
    }
    void resetState() override { ++resets; }
};

PixelBuffer filled(int w, int h, std::uint8_t value) {
    auto mask = *PixelBuffer::make(w, h, PixelFormat::gray8);
    matView(mask).setTo(value);
    return mask;
}

PixelBuffer floats(std::initializer_list<float> values) {
    auto mask = *PixelBuffer::make(static_cast<int>(values.size()), 1, PixelFormat::grayF32);
    std::copy(values.begin(), values.end(), reinterpret_cast<float*>(mask.row(0)));
    return mask;
}

// A frame of one grey; frames of different greys are a picture that moved.
PixelBuffer frame(int w = 8, int h = 6, std::uint8_t grey = 0) {
    return test::solidBuffer(w, h, {double(grey), double(grey), double(grey), 255});
}

// The mask's values as bytes (images hold masks as floats in 0…1).
std::vector<int> values(const Image& image) {
    cv::Mat bytes;
    image.pixels().convertTo(bytes, CV_8U, 255.0);
    std::vector<int> out;
    for (int y = 0; y < bytes.rows; ++y) {
        for (int x = 0; x < bytes.cols; ++x) out.push_back(bytes.at<std::uint8_t>(y, x));
    }
    return out;
}

class SegmenterTest : public testing::Test {
  protected:
    std::shared_ptr<ScriptedEngine> engine = std::make_shared<ScriptedEngine>();
    std::shared_ptr<ScriptedEngine> subject = std::make_shared<ScriptedEngine>();
    std::vector<SegmentationLevel> asked;
    Segmenter segmenter{[this](SegmentationLevel level) {
                            asked.push_back(level);
                            return engine;
                        },
                        [this] { return subject; }};
    EffectSettings settings;

    std::vector<int> next(PixelBuffer mask, bool smooth = true, std::uint8_t grey = 0) {
        engine->masks.push_back(std::move(mask));
        const auto image = segmenter.mask(frame(8, 6, grey), settings, smooth);
        return image ? values(*image) : std::vector<int>{};
    }
    std::vector<int> moved(PixelBuffer mask) { return next(std::move(mask), true, grey_ ^= 255); }

  private:
    std::uint8_t grey_ = 0;
};

// Where the picture is still, an unsure value hardly moves what was there and a sure one is
// followed, the faster the more the picture changed.
TEST_F(SegmenterTest, TheMaskFollowsWhereThePictureChangedAndHoldsWhereItIsStill) {
    next(filled(2, 1, 200));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(next(filled(2, 1, 200)), std::vector<int>(2, 200));
    EXPECT_EQ(moved(filled(2, 1, 0)), std::vector<int>(2, 0));

    const auto stillAfterZero = [&](std::uint8_t value, std::uint8_t grey) {
        next(filled(2, 1, 0), false, 0);
        next(filled(2, 1, 0), true, 0);
        return next(filled(2, 1, value), true, grey)[0];
    };
    EXPECT_LT(stillAfterZero(128, 0), 16);
    EXPECT_GT(stillAfterZero(255, 0), 4 * stillAfterZero(128, 0));
    EXPECT_LT(stillAfterZero(255, 0), 255);
    EXPECT_GT(stillAfterZero(128, 8), stillAfterZero(128, 0));
    EXPECT_GT(stillAfterZero(128, 255), stillAfterZero(128, 8));
}

TEST_F(SegmenterTest, FloatMasksAreTruncatedToBytesAndNaNCountsAsZero) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(next(floats({0.5f, 0.999f, 1.0f, 1.5f, 0.0f, -0.2f, nan, 0.0039f})),
              (std::vector<int>{127, 254, 255, 255, 0, 0, 0, 0}));
}

TEST_F(SegmenterTest, HistoryRestartsUnsmoothedOrAtANewSizeAndOutlivesAFailedFrame) {
    next(filled(2, 1, 255));
    const int resetsBefore = engine->resets;
    EXPECT_EQ(next(filled(2, 1, 100), false), std::vector<int>(2, 100));
    EXPECT_EQ(engine->resets, resetsBefore + 1);
    EXPECT_EQ(moved(filled(2, 1, 0)), std::vector<int>(2, 0));  // raw again, not blended
    EXPECT_EQ(engine->resets, resetsBefore + 1);                // smoothed calls keep memory

    EXPECT_EQ(moved(filled(3, 1, 10)), std::vector<int>(3, 10));
    next(filled(3, 1, 255));
    engine->masks.push_back(std::nullopt);
    EXPECT_FALSE(segmenter.mask(frame(), settings, true));
    EXPECT_GT(next(filled(3, 1, 0))[0], 0);  // still blended with what came before
}

// The smoothing goes on across the switch, as the masks are the same size.
TEST_F(SegmenterTest, TheSubjectMaskWhereItFindsSomethingElseThePersonMask) {
    settings.useSubjectMask = true;
    subject->masks.push_back(filled(2, 1, 200));
    EXPECT_EQ(next(filled(2, 1, 10)), std::vector<int>(2, 200));
    EXPECT_EQ(engine->masks.size(), 1u) << "the person engine must not run";
    engine->masks.clear();

    subject->masks.push_back(filled(2, 1, 127));       // nothing more likely subject than not
    EXPECT_GT(next(filled(2, 1, 0))[0], 0);            // blended with the subject mask before
    EXPECT_EQ(asked.back(), SegmentationLevel::fast);  // at the settings' quality
    EXPECT_TRUE(subject->masks.empty());
}

// The person engine runs on every frame, to tell where people moved.
TEST_F(SegmenterTest, WithKeyFramesTheSubjectEngineSeesOneFrameInSoMany) {
    settings.useSubjectMask = true;
    segmenter.setSubjectKeyFrames(3);
    for (int i = 0; i < 2; ++i) subject->masks.push_back(filled(2, 1, 200));
    for (int i = 0; i < 6; ++i) EXPECT_EQ(next(filled(2, 1, 0)), std::vector<int>(2, 200)) << i;
    EXPECT_TRUE(subject->masks.empty());
    EXPECT_TRUE(engine->masks.empty());

    subject->masks.push_back(filled(2, 1, 200));
    EXPECT_EQ(next(filled(2, 1, 0), false), std::vector<int>(2, 200));
    EXPECT_TRUE(subject->masks.empty());
}

// Asking the subject engine in vain does not count as switching.
TEST_F(SegmenterTest, SwitchingEnginesClearsTheMemoryOfTheOneSwitchedTo) {
    next(filled(1, 1, 1));
    const int resets = engine->resets;
    settings.useSubjectMask = true;
    for (int i = 0; i < 2; ++i) {
        subject->masks.push_back(filled(1, 1, 0));
        next(filled(1, 1, 1));
    }
    EXPECT_EQ(engine->resets, resets);
    subject->masks.push_back(filled(1, 1, 255));
    next(filled(1, 1, 1));
    next(filled(1, 1, 1));  // the subject engine consumed its last mask and fails: person
    EXPECT_EQ(engine->resets, resets + 1);
}

TEST(SegmenterWithoutModels, AMissingEngineIsAskedForOnceAndGivesNoMasks) {
    int asked = 0;
    Segmenter segmenter([&](SegmentationLevel) {
        ++asked;
        return std::shared_ptr<SegmentationEngine>();
    });
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(segmenter.mask(frame(), EffectSettings{}, true));
    EXPECT_EQ(asked, 1);
}

}  // namespace
}  // namespace pelliqo
