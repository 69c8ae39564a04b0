#include "platform/Image.h"

#include "platform/MatView.h"

namespace pelliqo {

std::optional<Image> Image::fromMask(const PixelBuffer& mask) {
    if (mask.format() != PixelFormat::gray8 && mask.format() != PixelFormat::grayF32) {
        return std::nullopt;
    }
    // A copy, so that the image stays valid and unchanged whatever happens to the buffer.
    return Image(matView(mask).clone(), {0, 0}, false);
}

Rect Image::extent() const {
    return Rect{origin_.x, origin_.y, static_cast<double>(pixels_.cols),
                static_cast<double>(pixels_.rows)};
}

}  // namespace pelliqo
