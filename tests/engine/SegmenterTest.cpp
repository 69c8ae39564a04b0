#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <limits>

#include "engine/Segmenter.h"
#include "platform/image/MatView.h"

namespace pelliqo {
namespace {

// Stands in for a real engine: hands out the masks it was given, one per call, and fails
// when it has none left.
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
    auto buffer = *PixelBuffer::make(w, h, PixelFormat::bgra8);
    matView(buffer).setTo(cv::Scalar(grey, grey, grey, 255));
    return buffer;
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

    // The next mask, on a frame of the given grey.
    std::vector<int> next(PixelBuffer mask, bool smooth = true, std::uint8_t grey = 0) {
        engine->masks.push_back(std::move(mask));
        const auto image = segmenter.mask(frame(8, 6, grey), settings, smooth);
        return image ? values(*image) : std::vector<int>{};
    }
    // The next mask on a frame that moved since the last one.
    std::vector<int> moved(PixelBuffer mask) { return next(std::move(mask), true, grey_ ^= 255); }

  private:
    std::uint8_t grey_ = 0;
};

TEST_F(SegmenterTest, WhereThePictureMovedThreeFifthsNewWithTwoFifthsOldInIntegers) {
    EXPECT_EQ(moved(filled(2, 1, 255)), (std::vector<int>{255, 255}));
    EXPECT_EQ(moved(filled(2, 1, 0)), (std::vector<int>{102, 102}));
    EXPECT_EQ(moved(filled(2, 1, 0)), (std::vector<int>{40, 40}));  // (2 × 102) ÷ 5 = 40.8
    EXPECT_EQ(moved(filled(2, 1, 7)), (std::vector<int>{20, 20}));  // (21 + 80) ÷ 5 = 20.2
}

// Where the picture is still, the new value counts for 0.05 when the engine is unsure (128)
// and for 0.6 when it is sure (0 or 255), with the square of its sureness in between; a
// change of the picture between 4 and 12 grey levels moves the weight towards 0.6.
TEST_F(SegmenterTest, WhereThePictureIsStillUnsureValuesHoldTheHistory) {
    next(filled(2, 1, 0));
    EXPECT_EQ(next(filled(2, 1, 128)), std::vector<int>(2, 6));    // 0.05 × 128 = 6.4
    EXPECT_EQ(next(filled(2, 1, 255)), std::vector<int>(2, 155));  // 6 + 0.6 × 249 = 155.4
    // sureness 0.2157: weight 0.05 + 0.55 × 0.0465 = 0.0756; 155 − 0.0756 × 55 = 150.8
    EXPECT_EQ(next(filled(2, 1, 100)), std::vector<int>(2, 151));
    // The picture 8 grey levels brighter: half moved, weight 0.05 + 0.55 × 0.5 = 0.325 at 128.
    EXPECT_EQ(next(filled(2, 1, 128), true, 8), std::vector<int>(2, 144));  // 151 − 0.325 × 23
}

TEST_F(SegmenterTest, FloatMasksAreTruncatedToBytesAndNaNCountsAsZero) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(next(floats({0.5f, 0.999f, 1.0f, 1.5f, 0.0f, -0.2f, nan, 0.0039f})),
              (std::vector<int>{127, 254, 255, 255, 0, 0, 0, 0}));
}

// The history restarts on an unsmoothed call (which also clears engine memory) and on a
// new mask size; a failed frame leaves it as it was.
TEST_F(SegmenterTest, HistoryRestartsUnsmoothedOrAtANewSizeAndOutlivesAFailedFrame) {
    next(filled(2, 1, 255));
    const int resetsBefore = engine->resets;
    EXPECT_EQ(next(filled(2, 1, 100), false), std::vector<int>(2, 100));
    EXPECT_EQ(engine->resets, resetsBefore + 1);
    EXPECT_EQ(moved(filled(2, 1, 0)), std::vector<int>(2, 0));  // raw again, not blended
    EXPECT_EQ(engine->resets, resetsBefore + 1);                // smoothed calls keep memory

    EXPECT_EQ(moved(filled(3, 1, 10)), std::vector<int>(3, 10));
    EXPECT_EQ(moved(filled(3, 1, 255)), std::vector<int>(3, 157));  // (765 + 20) ÷ 5

    engine->masks.push_back(std::nullopt);
    EXPECT_FALSE(segmenter.mask(frame(), settings, true));
    EXPECT_EQ(moved(filled(3, 1, 0)), std::vector<int>(3, 62));  // (2 × 157) ÷ 5
}

// The subject mask where the subject engine finds something, else the person mask in the
// same call; the smoothing goes on across the switch, as the masks are the same size.
TEST_F(SegmenterTest, TheSubjectMaskWhereItFindsSomethingElseThePersonMask) {
    settings.useSubjectMask = true;
    subject->masks.push_back(filled(2, 1, 200));
    EXPECT_EQ(next(filled(2, 1, 10)), std::vector<int>(2, 200));
    EXPECT_EQ(engine->masks.size(), 1u) << "the person engine must not run";
    engine->masks.clear();

    subject->masks.push_back(filled(2, 1, 127));  // nothing more likely subject than not
    EXPECT_EQ(moved(filled(2, 1, 0)), std::vector<int>(2, 80));  // (0 + 400) ÷ 5
    EXPECT_EQ(asked.back(), SegmentationLevel::fast);            // at the settings' quality

    settings.useSubjectMask = false;
    EXPECT_EQ(moved(filled(2, 1, 0)), std::vector<int>(2, 32));
    EXPECT_TRUE(subject->masks.empty());
}

// Person engines remember earlier frames: switching to one starts its memory afresh, while
// asking the subject engine in vain does not.
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
