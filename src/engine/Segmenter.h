#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

#include "engine/EffectSettings.h"
#include "engine/KeyFrameMask.h"
#include "engine/MaskHistory.h"
#include "platform/image/Bitmap.h"
#include "platform/image/Image.h"
#include "platform/image/PixelBuffer.h"
#include "platform/image/Yuv420.h"
#include "platform/inference/SegmentationEngine.h"

namespace pelliqo {

// The input of one segmentation: a BGRA frame, a still bitmap, or a movie frame in 4:2:0.
using SegmentSource = std::variant<PixelBuffer, Bitmap, Yuv420Frame>;

// Turns frames of one stream into person (or subject) masks, optionally smoothed over time
// so the edge does not flicker. Owns its engines, so no state crosses streams. Not
// thread-safe: one queue at a time.
class Segmenter {
  public:
    // Makes the engine for a level, or nothing when it cannot be had.
    using EngineFactory =
        std::function<std::shared_ptr<SegmentationEngine>(SegmentationLevel level)>;
    // Makes the subject engine, or nothing when it cannot be had.
    using SubjectFactory = std::function<std::shared_ptr<SegmentationEngine>()>;

    // Engines from the installed models.
    Segmenter();
    // Person engines from the factory; a subject engine only when one is given.
    explicit Segmenter(EngineFactory factory, SubjectFactory subject = nullptr);

    // The mask for the source (white = person) at the engine's resolution, or nothing when
    // the engine fails. With the settings' useSubjectMask, the subject engine's mask where it
    // finds something, else the person mask at the settings' quality. With smooth, it is
    // blended with this stream's previous mask carried along the picture's motion (whichever
    // engine made it, at the same size); without, the history (and any engine memory) is
    // cleared first.
    std::optional<Image> mask(const SegmentSource& source, const EffectSettings& settings,
                              bool smooth);

    // For a frame the engine skips to keep pace: the last mask carried along the picture's
    // motion to it, which becomes the history. Nothing when the stream keeps no history (not
    // smoothed) or the motion could not be followed; then the frame needs mask().
    std::optional<Image> carried(const SegmentSource& source);

    // The stream starts again elsewhere (a seek): the next mask is made as a stream's first,
    // with no history and no engine memory, and becomes the history.
    void restart();

    // Whether the frames must keep a camera's pace: engines with a quicker form use it.
    void setQuick(bool quick) { quick_ = quick; }
    // For a smoothed stream, the subject network sees one frame in `every` (more often when
    // the picture asks for it) and the frames between carry its mask; 1 runs it on every frame.
    void setSubjectKeyFrames(int every) { keyFrames_ = KeyFrameMask(every); }

  private:
    SegmentationEngine* engine(SegmentationLevel level);
    SegmentationEngine* subjectEngine();
    // The engine's mask; engine memory from another stretch of frames (before a switch of
    // engine, or an unsmoothed call) is forgotten first, as it would bleed into this one.
    // A stretch is the frames whose mask one engine made: a subject engine that found
    // nothing does not end the person engine's.
    std::optional<PixelBuffer> run(SegmentationEngine& engine, const SegmentationInput& input,
                                   bool smooth);
    // The subject mask: the network's on key frames, carried between them; nothing when the
    // subject engine fails or finds nothing. Leaves in picture the frame in grey at the mask's
    // size when it made one, for the smoothing.
    std::optional<PixelBuffer> subjectMask(SegmentationEngine& subject,
                                           const SegmentationInput& input, bool smooth,
                                           cv::Mat& picture);

    EngineFactory factory_;
    SubjectFactory subjectFactory_;
    std::array<std::shared_ptr<SegmentationEngine>, 3> engines_;
    std::array<bool, 3> tried_{};
    std::shared_ptr<SegmentationEngine> subject_;
    bool triedSubject_ = false;
    const SegmentationEngine* lastEngine_ = nullptr;
    bool quick_ = false;

    MaskHistory history_;
    KeyFrameMask keyFrames_{1};
};

// The segmentation level a quality choice asks for.
SegmentationLevel segmentationLevel(QualityChoice quality);

}  // namespace pelliqo
