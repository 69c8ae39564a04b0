#pragma once

#include <optional>

#include "platform/image/PixelBuffer.h"

namespace pelliqo {

// A picture for display or as a still: 8-bit BGRA in sRGB, straight alpha. The byte order
// of frames, which the toolkit also draws as it is, so a bitmap is neither converted on
// its way from a frame nor on its way to the screen.
class Bitmap {
  public:
    // Nothing unless the pixels are BGRA.
    static std::optional<Bitmap> from(PixelBuffer pixels) {
        if (pixels.format() != PixelFormat::bgra8) return std::nullopt;
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
