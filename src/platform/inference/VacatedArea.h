#pragma once

#include <opencv2/core.hpp>

namespace pelliqo {

// Where the person stood in the last frame and, followed along the picture's motion, stands
// no more: 0…255 (CV_8U). motion is as Motion::since gives it, the last mask 8-bit, both at
// one size; empty when they are not.
cv::Mat vacatedArea(const cv::Mat& motion, const cv::Mat& lastMask);

// Scales a recurrent state ([1, channels, rows, columns], CV_32F; no larger than the area)
// down where the area was vacated or within `widen` of the area's pixels of it, by `strength` ×
// that share, to nothing at most. Widened, as the ghost a memory leaves is wider than the band
// the motion finds.
void forgetWhereVacated(cv::Mat& state, const cv::Mat& vacated, int widen, float strength);

}  // namespace pelliqo
