#pragma once

#include <cstdint>

#include "platform/image/PixelBuffer.h"

namespace pelliqo {

// Where the three planes of a 4:2:0 picture go: luma at full size, the two chroma planes at
// half size each way.
struct Yuv420Planes {
    std::uint8_t* y;
    int yStride;
    std::uint8_t* u;
    int uStride;
    std::uint8_t* v;
    int vStride;
};

// A BGRA picture as BT.709 limited-range 4:2:0, the colours our movies are tagged with; each
// chroma sample is the mean of the 2 × 2 pixels it covers. Alpha is ignored. False, with
// nothing written, for a picture that is not BGRA or has an odd side.
bool convertToYuv420(const PixelBuffer& bgra, const Yuv420Planes& planes);

}  // namespace pelliqo
