#include "platform/image/Rendering.h"

#include "platform/image/MatView.h"

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
    auto buffer = PixelBuffer::make(area.width, area.height, PixelFormat::bgra8);
    if (!buffer) return std::nullopt;
    cv::Mat pixels = matView(*buffer);
    image.drawBgra(pixels, area.tl());
    return Bitmap::from(*buffer);
}

}  // namespace pelliqo
