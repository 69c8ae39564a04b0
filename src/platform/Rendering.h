#pragma once

#include <optional>

#include "platform/Bitmap.h"
#include "platform/Image.h"
#include "platform/PixelBuffer.h"

namespace pelliqo {

// Draws the image over the buffer's rectangle (0, 0, width, height) as sRGB BGRA;
// what lies outside is clipped, what the image does not cover becomes transparent black.
// False for a buffer that is not BGRA.
bool renderInto(const Image& image, PixelBuffer& target);

// The image's whole (finite, non-empty) extent as an 8-bit RGBA bitmap; nothing otherwise.
std::optional<Bitmap> makeBitmap(const Image& image);

}  // namespace pelliqo
