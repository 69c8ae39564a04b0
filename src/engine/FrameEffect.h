#pragma once

#include <optional>

#include "engine/Compositor.h"
#include "engine/EffectSettings.h"
#include "engine/Segmenter.h"
#include "platform/image/Image.h"

namespace pelliqo {

// The effect on one stream of frames: segment, then compose. Every pipeline (export, live,
// previews, the picture commands) turns its frames into finished pictures through one of
// these, so the rule for when a frame needs a mask lives here alone. Owns the stream's
// segmenter and compositor; not thread-safe: one queue at a time, except that the two halves
// of apply (neededMask and composed) share nothing and may each run on a queue of its own.
class FrameEffect {
  public:
    // A video stream blends each mask with the ones before it when the settings ask to
    // reduce flicker, and then runs the costly subject network on key frames only; a camera's
    // (live) blends too, and must keep its pace, so its engines run in their quickest form;
    // stills are unrelated pictures and never blend.
    enum class Frames { video, live, stills };

    // Engines from the installed models, or from the factory when one is given.
    explicit FrameEffect(Frames frames);
    FrameEffect(Frames frames, Segmenter::EngineFactory engines);

    // Whether a frame needs a mask under these settings: any background but none, and
    // the mask view.
    static bool needsMask(const EffectSettings& settings);

    // The finished picture at the frame's size and at the origin; without a mask (none
    // needed, or the engine found nothing) the frame itself. Nothing for a frame that cannot
    // be read, and for a 4:2:0 frame (see the 4:2:0 composed).
    std::optional<Image> apply(const SegmentSource& frame, const EffectSettings& settings);

    // apply in two halves, for a pipeline that segments one frame while it composes the one
    // before: the mask when the settings need one (called in frame order), and the finished
    // picture from a frame and that mask (made in `into`'s pixels where the compositor can).
    std::optional<Image> neededMask(const SegmentSource& frame, const EffectSettings& settings);
    std::optional<Image> composed(const SegmentSource& frame, const std::optional<Image>& mask,
                                  const EffectSettings& settings,
                                  const std::optional<PixelBuffer>& into = std::nullopt);

    // For a frame the engine skips to keep a camera's pace, in place of neededMask: the last
    // mask carried along the picture's motion to it. Nothing when no mask is needed, the
    // stream is not smoothed or the motion was lost; then the frame needs neededMask.
    std::optional<Image> carriedMask(const SegmentSource& frame, const EffectSettings& settings);

    // Whether these settings' pictures can be composed in 4:2:0: the composed below.
    static bool canComposeYuv(const EffectSettings& settings);
    // The second half for a 4:2:0 movie frame (its mask comes from neededMask): the frame
    // itself when there is nothing to do, otherwise the picture made in `into`; nothing for
    // settings canComposeYuv refuses or when memory ran out.
    std::optional<Yuv420Frame> composed(const Yuv420Frame& frame, const std::optional<Image>& mask,
                                        const EffectSettings& settings, const Yuv420Frame& into);

    // The stream starts again elsewhere (a seek): its next frame is made as its first.
    void restart() { segmenter_.restart(); }

    // The mask alone, at the engine's resolution; nothing when the engine found nothing.
    std::optional<Image> mask(const SegmentSource& frame, const EffectSettings& settings);

    // Rendering into buffers and preview bitmaps.
    const Compositor& compositor() const { return compositor_; }

  private:
    Frames frames_;
    Segmenter segmenter_;
    Compositor compositor_;
};

}  // namespace pelliqo
