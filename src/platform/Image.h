#pragma once

#include <opencv2/core.hpp>
#include <optional>

#include "platform/PixelBuffer.h"

namespace pelliqo {

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    bool operator==(const Rect&) const = default;
};

// An image with an extent. Pixels are held eagerly; the origin places them in the plane.
// Masks carry no colour space: their values are used as they are.
class Image {
  public:
    // A one-channel mask (8-bit or float), extent (0, 0, width, height), not colour-managed.
    static std::optional<Image> fromMask(const PixelBuffer& mask);

    Rect extent() const;
    bool isColorManaged() const { return colorManaged_; }
    // The pixels; row 0 is the top of the extent.
    const cv::Mat& pixels() const { return pixels_; }

  private:
    Image(cv::Mat pixels, cv::Point2d origin, bool colorManaged)
        : pixels_(std::move(pixels)), origin_(origin), colorManaged_(colorManaged) {}

    cv::Mat pixels_;
    cv::Point2d origin_;
    bool colorManaged_ = true;
};

}  // namespace pelliqo
