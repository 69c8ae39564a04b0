#pragma once

#include <opencv2/core.hpp>
#include <optional>

#include "platform/image/PixelBuffer.h"
#include "platform/inference/SegmentationEngine.h"

namespace pelliqo {

// The picture scaled (bilinear, by the input's own scaling when it has one) to the network's size
// as a [1, 3, height, width] blob of RGB values in 0…1 plus the offset, the form the segmentation
// networks take.
cv::Mat networkInput(const SegmentationInput& input, int width, int height, float offset = 0.0f);

// A network's one-channel float output in 0…1 as an 8-bit mask, rounded; NaN counts as 0.
std::optional<PixelBuffer> maskFromOutput(const float* values, int width, int height);

}  // namespace pelliqo
