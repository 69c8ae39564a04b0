#pragma once

#include <cstdint>
#include <opencv2/core.hpp>

namespace pelliqo {

// One row of straight-alpha BGRA: the foreground where the weight is 256, the background
// where it is 0, mixed with premultiplied alpha.
void blendRow(const cv::Vec4b* fg, const cv::Vec4b* bg, const std::uint16_t* weights,
              cv::Vec4b* out, int n);

// One row of one plane of an opaque picture (a luma or chroma plane): the foreground where
// the weight is 256, the background where it is 0, rounded as blendRow rounds opaque pixels.
void blendPlaneRow(const std::uint8_t* fg, const std::uint8_t* bg, const std::uint16_t* weights,
                   std::uint8_t* out, int n);

// Whether every pixel of a BGRA picture has alpha 255.
bool isOpaque(const cv::Mat& bgra);

// A row of a 0…1 mask as weights out of 256, rounded; a value that is not a number counts
// as 0.
void weightsOf(const float* mask, std::uint16_t* out, int n);
// A row of a byte mask as weights out of 256, 255 giving the foreground whole.
void weightsOf(const std::uint8_t* mask, std::uint16_t* out, int n);

}  // namespace pelliqo
