#include "platform/Rendering.h"

#include <opencv2/imgproc.hpp>

#include "platform/MatView.h"

namespace pelliqo {

bool renderInto(const Image& image, PixelBuffer& target) {
    if (target.format() != PixelFormat::bgra8) return false;
    cv::Mat pixels = matView(target);
    image.drawBgra(pixels, {0, 0});
    return true;
}

std::optional<Bitmap> makeBitmap(const Image& image) {
    if (image.isInfinite()) return std::nullopt;
    const cv::Rect area = pixelArea(image.extent());
    auto buffer = PixelBuffer::make(area.width, area.height, PixelFormat::rgba8);
    if (!buffer) return std::nullopt;
    cv::Mat bgra(area.size(), CV_8UC4);
    image.drawBgra(bgra, area.tl());
    cv::Mat rgba = matView(*buffer);
    cv::cvtColor(bgra, rgba, cv::COLOR_BGRA2RGBA);
    return Bitmap::from(*buffer);
}

}  // namespace pelliqo
