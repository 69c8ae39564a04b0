#include "platform/image/Blend.h"

#include <algorithm>
#include <cstdint>

#include "platform/image/VectorClones.h"

namespace pelliqo {

namespace {

// Pixels checked for opacity together: a run with one translucent pixel takes the per-pixel
// path, the rest the vectorized one.
constexpr int run = 256;

// Background and foreground bytes mixed by a weight out of 256, rounded; the one formula of
// every opaque blend, plain enough to vectorize.
inline std::uint8_t mixed(unsigned fg, unsigned bg, unsigned w) {
    return static_cast<std::uint8_t>((bg * (256 - w) + fg * w + 128) >> 8);
}

PELLIQO_VECTOR_CLONES bool opaque(const cv::Vec4b* p, int n) {
    // The AND of all pixels keeps alpha 255 only if every alpha is 255; a plain reduction
    // so that it vectorizes.
    const auto* words = reinterpret_cast<const std::uint32_t*>(p);
    std::uint32_t all = 0xffffffffu;
    for (int x = 0; x < n; ++x) all &= words[x];
    return (all >> 24) == 0xffu;
}

// Both sides opaque, the common case: integer weights out of 256, alpha staying 255. Kept
// free of branches over plain bytes so that the compiler vectorizes it (this file is built
// with -O3): a quarter of the per-pixel path's time.
PELLIQO_VECTOR_CLONES void opaqueRun(const std::uint8_t* __restrict fg,
                                     const std::uint8_t* __restrict bg,
                                     const std::uint16_t* __restrict weights,
                                     std::uint8_t* __restrict out, int n) {
    for (int x = 0; x < n; ++x) {
        const unsigned w = weights[x];
        for (int c = 0; c < 4; ++c) out[4 * x + c] = mixed(fg[4 * x + c], bg[4 * x + c], w);
    }
}

// One pixel of a run where some are not opaque; opaque ones come out as on the fast path.
void mixedPixel(const cv::Vec4b& fg, const cv::Vec4b& bg, unsigned w, cv::Vec4b& out) {
    if (fg[3] == 255 && bg[3] == 255) {
        for (int c = 0; c < 3; ++c) out[c] = mixed(fg[c], bg[c], w);
        out[3] = 255;
        return;
    }
    const float m = static_cast<float>(w) * (1.0f / 256);
    const float wf = fg[3] * (1.0f / 255) * m, wb = bg[3] * (1.0f / 255) * (1.0f - m);
    const float a = wf + wb;
    if (a <= 0.0f) {
        out = cv::Vec4b(0, 0, 0, 0);
        return;
    }
    for (int c = 0; c < 3; ++c) {
        out[c] = static_cast<std::uint8_t>((fg[c] * wf + bg[c] * wb) / a + 0.5f);
    }
    out[3] = static_cast<std::uint8_t>(a * 255.0f + 0.5f);
}

}  // namespace

void blendRow(const cv::Vec4b* fg, const cv::Vec4b* bg, const std::uint16_t* weights,
              cv::Vec4b* out, int n) {
    for (int start = 0; start < n; start += run) {
        const int count = std::min(run, n - start);
        const cv::Vec4b* f = fg + start;
        const cv::Vec4b* b = bg + start;
        if (opaque(f, count) && opaque(b, count)) {
            opaqueRun(f->val, b->val, weights + start, out[start].val, count);
            continue;
        }
        for (int x = 0; x < count; ++x) mixedPixel(f[x], b[x], weights[start + x], out[start + x]);
    }
}

PELLIQO_VECTOR_CLONES void blendPlaneRow(const std::uint8_t* __restrict fg,
                                         const std::uint8_t* __restrict bg,
                                         const std::uint16_t* __restrict weights,
                                         std::uint8_t* __restrict out, int n) {
    for (int x = 0; x < n; ++x) out[x] = mixed(fg[x], bg[x], weights[x]);
}

bool isOpaque(const cv::Mat& bgra) {
    for (int y = 0; y < bgra.rows; ++y) {
        if (!opaque(bgra.ptr<cv::Vec4b>(y), bgra.cols)) return false;
    }
    return true;
}

PELLIQO_VECTOR_CLONES void weightsOf(const float* mask, std::uint16_t* out, int n) {
    for (int x = 0; x < n; ++x) {
        const float m = mask[x] > 0.0f ? std::min(mask[x], 1.0f) : 0.0f;
        out[x] = static_cast<std::uint16_t>(m * 256.0f + 0.5f);
    }
}

PELLIQO_VECTOR_CLONES void weightsOf(const std::uint8_t* mask, std::uint16_t* out, int n) {
    for (int x = 0; x < n; ++x) out[x] = static_cast<std::uint16_t>(mask[x] + (mask[x] >> 7));
}

}  // namespace pelliqo
