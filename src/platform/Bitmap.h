#pragma once

#include <optional>

#include "platform/PixelBuffer.h"

namespace pelliqo {

// A picture for display or as a still: 8-bit RGBA in sRGB, straight alpha.
class Bitmap {
  public:
    // Nothing unless the pixels are RGBA.
    static std::optional<Bitmap> from(PixelBuffer pixels) {
        if (pixels.format() != PixelFormat::rgba8) return std::nullopt;
        return Bitmap(std::move(pixels));
    }

    int width() const { return pixels_.width(); }
    int height() const { return pixels_.height(); }
    const PixelBuffer& pixels() const { return pixels_; }

  private:
    explicit Bitmap(PixelBuffer pixels) : pixels_(std::move(pixels)) {}
    PixelBuffer pixels_;
};

}  // namespace pelliqo
