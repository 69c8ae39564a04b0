#pragma once

#include <opencv2/core.hpp>
#include <optional>

#include "platform/image/Motion.h"
#include "platform/image/PixelBuffer.h"

namespace pelliqo {

// The smoothed masks of one stream. Each new mask is blended with the last smoothed one
// carried along the picture's motion: where the carried picture agrees with the new one
// (still or well-tracked pixels) the history holds, the more so the less sure the engine is
// of the new value; where the motion could not be followed (something appeared, was
// uncovered, changed), or where something moves and the new value is far from the carried
// one, the new mask is taken. So a still edge stays still and a moving one leaves no trail.
class MaskHistory {
  public:
    // The last mask carried to the new picture, per pixel: how far the motion was lost there
    // (CV_32F, 0 followed, 1 lost; all lost when the pictures cannot be compared) and how fast
    // it moved.
    struct Carried {
        cv::Mat mask;
        cv::Mat untracked;
        cv::Mat moving;
    };

    // The mask blended with the history, always 8-bit; nothing for a mask it cannot read,
    // leaving the history as it was. picture is the frame in grey at the mask's size; when
    // two such pictures cannot be compared, every pixel counts as untracked. The first mask,
    // and the first at a new size, comes back unchanged.
    std::optional<PixelBuffer> smoothed(const PixelBuffer& mask, const cv::Mat& picture);
    // The history carried along the motion to a new picture, for a frame with no new mask: it
    // becomes the history. Nothing, and the history as it was, when the pictures cannot be
    // compared or the motion was lost over more than `lostAtMost` of the picture (0…1).
    std::optional<PixelBuffer> carriedTo(const cv::Mat& picture, double lostAtMost);
    // The same for masks carried together (an 8-bit matrix of any number of channels, one
    // mask each), which restart sets with the picture they belong to. They share one motion
    // estimate, so masks made of one frame stay in register with each other. The masks returned
    // are the history's own: what the caller writes into them is what is carried next.
    void restart(const cv::Mat& masks, const cv::Mat& picture);
    std::optional<Carried> carriedMasksTo(const cv::Mat& picture, double lostAtMost);
    // The size of the masks in the history; empty when there is none.
    cv::Size size() const { return mask_.size(); }
    // How the picture moved since the last one (as Motion::since), measured once: the next
    // blend with this same picture uses it too. Empty when the two cannot be compared.
    cv::Mat motionTo(const cv::Mat& picture);
    void clear();

  private:
    // Where each pixel of a picture was in the last one, in the fixed-point form cv::remap
    // takes, and how fast it moved (0 still, 1 moving).
    struct Origins {
        cv::Mat points;
        cv::Mat fractions;
        cv::Mat moving;
    };
    // Nothing when there is no motion to follow.
    std::optional<Origins> whereFrom(const cv::Mat& picture);
    Carried carried(const cv::Mat& picture);
    // Whether the picture can be compared with the last one, at the history's size.
    bool comparable(const cv::Mat& picture) const;

    cv::Mat mask_;     // CV_8U, the last smoothed mask (or the masks carried together)
    cv::Mat picture_;  // CV_8U, the last picture
    Motion motion_;
    cv::Mat measured_, measuredFor_;  // motionTo's answer, and the picture it was for
};

}  // namespace pelliqo
