#pragma once

#include <opencv2/core.hpp>
#include <optional>

#include "engine/MaskHistory.h"

namespace pelliqo {

// The subject mask of a movie's frames when the subject network, which costs many times the
// person network, sees only some of them (key frames). Between them, the key frame's subject
// mask is carried along the picture's motion; where people moved, which the motion alone
// follows badly (it leaves a ghost where a person was and misses where one comes), the change
// in the person mask (made every frame) is taken into it, but only for people the subject
// mask holds and only where the picture changed too. Masks are 8-bit, one channel, all at the
// subject mask's size.
class KeyFrameMask {
  public:
    // every: a key frame at least once in so many frames.
    explicit KeyFrameMask(int every) : every_(every) {}

    // The subject mask of the frame between key frames, or nothing when this frame must be a
    // key frame: one is due, there is none yet (or at another size), the motion was lost over
    // a large part of the picture, or the people changed too much to carry the subject.
    // picture is the frame in grey at the masks' size.
    std::optional<cv::Mat> between(const cv::Mat& person, const cv::Mat& picture);
    // A key frame: the subject network's mask, with the person mask and picture of that frame.
    void keyFrame(const cv::Mat& subject, const cv::Mat& person, const cv::Mat& picture);
    int every() const { return every_; }
    // The size the masks must have; empty before the first key frame.
    cv::Size size() const { return size_; }
    void clear();

  private:
    int every_;
    int since_ = 0;  // frames since the last key frame
    cv::Size size_;
    MaskHistory carried_;  // the key frame's subject and person masks, carried together
};

}  // namespace pelliqo
