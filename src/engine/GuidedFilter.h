#pragma once

#include <opencv2/core.hpp>

namespace pelliqo {

// Brings a small mask up to a frame's size with its edges on the frame's own edges, after
// He and Sun's fast guided filter: over every window of (2·radius + 1)² mask pixels the mask
// is modelled as a·guide + b, fitted at the mask's size (the guide shrunk to it), and the
// averaged slope a is applied to the full-size guide's detail:
//     result = mask↑ + a↑ · (guide − guide shrunk↑)      (↑: scaled up bilinearly)
// Unlike the textbook filter the offset is the mask itself rather than its window average,
// so where the guide is flat (a shirt the colour of the wall) a is 0 and the result is the
// mask scaled up as it was: the filter moves an edge only to where the picture has one, and
// never widens it. epsilon (a variance of grey levels in 0…1) is the guide contrast below
// which an edge is treated as noise.
struct GuidedFilter {
    int radius = 1;
    double epsilon = 1e-2;

    // mask: one float channel in 0…1; guide: 8-bit grey. The result has the given size (no
    // larger than the guide, which is area-averaged down to it), one float channel clamped
    // to 0…1. A mask larger than that size is fitted at that size.
    cv::Mat upscaled(const cv::Mat& mask, const cv::Mat& guide, cv::Size size) const;
};

}  // namespace pelliqo
