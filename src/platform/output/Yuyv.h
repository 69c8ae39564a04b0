#pragma once

#include <cstdint>

#include "platform/image/PixelBuffer.h"

namespace pelliqo {

// A BGRA picture as packed 4:2:2 (Y0 U Y1 V), BT.601 limited range as webcams send it, into
// rows of `stride` bytes; each chroma pair is the mean of its two pixels. Alpha is ignored.
// False, with nothing written, for a picture that is not BGRA or has an odd width.
bool convertToYuyv(const PixelBuffer& bgra, std::uint8_t* out, int stride);

}  // namespace pelliqo
