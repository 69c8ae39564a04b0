#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <opencv2/core.hpp>
#include <optional>
#include <variant>
#include <vector>

#include "engine/EffectSettings.h"
#include "platform/image/Bitmap.h"
#include "platform/image/Image.h"
#include "platform/image/PixelBuffer.h"
#include "platform/inference/SegmentationEngine.h"

namespace pelliqo {

// The input of one segmentation: a BGRA frame, or a still bitmap.
using SegmentSource = std::variant<PixelBuffer, Bitmap>;

// Turns frames of one stream into person masks, optionally smoothed over time so the edge
// does not flicker. Owns its engines, so no state crosses streams. Not thread-safe: one
// queue at a time.
class Segmenter {
  public:
    // Makes the engine for a level, or nothing when it cannot be had.
    using EngineFactory =
        std::function<std::shared_ptr<SegmentationEngine>(SegmentationLevel level)>;

    // Engines from the installed models.
    Segmenter();
    explicit Segmenter(EngineFactory factory);

    // The mask for the source (white = person) at the engine's resolution, or nothing when
    // the engine fails. With smooth, it is blended with this stream's previous mask;
    // without, the history (and any engine memory) is cleared first.
    std::optional<Image> mask(const SegmentSource& source, const EffectSettings& settings,
                              bool smooth);

    // The history, for inspection.
    const std::vector<std::uint8_t>& prev() const { return prev_; }
    int prevW() const { return prevW_; }
    int prevH() const { return prevH_; }
    bool havePrev() const { return havePrev_; }

  private:
    // The mask blended with the previous one, always 8-bit; nothing for a mask it cannot
    // read. Where the picture (grey, at the mask's size) moved since the last frame, 3 parts
    // new to 2 parts old; where it is still, the history holds, the more so the less sure
    // the engine is of the new value.
    std::optional<PixelBuffer> smoothed(const PixelBuffer& mask, const cv::Mat& picture);
    SegmentationEngine* engine(SegmentationLevel level);
    void clearHistory();

    EngineFactory factory_;
    std::array<std::shared_ptr<SegmentationEngine>, 3> engines_;
    std::array<bool, 3> tried_{};
    std::optional<SegmentationLevel> lastLevel_;

    std::vector<std::uint8_t> prev_;
    int prevW_ = 0;
    int prevH_ = 0;
    bool havePrev_ = false;
    cv::Mat prevPicture_;  // the last frame, grey at the mask's size
};

// The segmentation level a quality choice asks for.
SegmentationLevel segmentationLevel(QualityChoice quality);

}  // namespace pelliqo
