#include "platform/output/Yuyv.h"

#include <cstddef>

#include "platform/image/VectorClones.h"

namespace pelliqo {

namespace {

// BT.601 in 8.8 fixed point; white and black land on 235 and 16, greys on 128.
std::uint8_t luma(unsigned b, unsigned g, unsigned r) {
    return static_cast<std::uint8_t>((66 * r + 129 * g + 25 * b + 4224) >> 8);
}

// A row free of branches over plain bytes, so that the compiler vectorizes it (-O3).
PELLIQO_VECTOR_CLONES void yuyvRow(const std::uint8_t* __restrict p, std::uint8_t* __restrict out,
                                   int pairs) {
    for (int x = 0; x < pairs; ++x) {
        const unsigned b0 = p[8 * x], g0 = p[8 * x + 1], r0 = p[8 * x + 2];
        const unsigned b1 = p[8 * x + 4], g1 = p[8 * x + 5], r1 = p[8 * x + 6];
        const int b = static_cast<int>(b0 + b1), g = static_cast<int>(g0 + g1),
                  r = static_cast<int>(r0 + r1);
        out[4 * x] = luma(b0, g0, r0);
        out[4 * x + 1] = static_cast<std::uint8_t>((-38 * r - 74 * g + 112 * b + 65792) >> 9);
        out[4 * x + 2] = luma(b1, g1, r1);
        out[4 * x + 3] = static_cast<std::uint8_t>((112 * r - 94 * g - 18 * b + 65792) >> 9);
    }
}

}  // namespace

bool convertToYuyv(const PixelBuffer& bgra, std::uint8_t* out, int stride) {
    if (bgra.format() != PixelFormat::bgra8 || bgra.width() % 2 != 0) return false;
    for (int y = 0; y < bgra.height(); ++y)
        yuyvRow(bgra.row(y), out + static_cast<std::ptrdiff_t>(y) * stride, bgra.width() / 2);
    return true;
}

}  // namespace pelliqo
