#pragma once

#include <optional>

#include "platform/image/Bitmap.h"
#include "platform/image/Image.h"
#include "platform/image/PixelBuffer.h"

namespace pelliqo {

// Draws the image over the buffer's rectangle (0, 0, width, height) as sRGB BGRA;
// what lies outside is clipped, what the image does not cover becomes transparent black.
// False for a buffer that is not BGRA.
bool renderInto(const Image& image, PixelBuffer& target);

// The image's whole (finite, non-empty) extent as an 8-bit BGRA bitmap; nothing otherwise.
std::optional<Bitmap> makeBitmap(const Image& image);

}  // namespace pelliqo
