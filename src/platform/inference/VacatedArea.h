#pragma once

#include <opencv2/core.hpp>

#include "platform/image/Motion.h"

namespace pelliqo {

// Finds where the person stood in the last frame and, followed along the picture's motion,
// stands no more.
class VacatedArea {
  public:
    // 0…255 (CV_8U) at the pictures' size. Pictures are 8-bit grey of one size, the last mask
    // 8-bit at that size; empty when they cannot be compared.
    cv::Mat between(const cv::Mat& picture, const cv::Mat& lastPicture, const cv::Mat& lastMask);

  private:
    Motion motion_;
};

// Scales a recurrent state ([1, channels, rows, columns], CV_32F; no larger than the area)
// down where the area was vacated or within `widen` of the area's pixels of it, by `strength` ×
// that share, to nothing at most. Widened, as the ghost a memory leaves is wider than the band
// the motion finds.
void forgetWhereVacated(cv::Mat& state, const cv::Mat& vacated, int widen, float strength);

}  // namespace pelliqo
