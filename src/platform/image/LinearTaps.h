#pragma once

#include <algorithm>
#include <vector>

namespace pelliqo {

// Where an output pixel samples a row or column of a smaller picture when scaled up
// bilinearly (pixel centres aligned, edges held): between i0 and i1, w of the way.
struct LinearTap {
    int i0;
    int i1;
    float w;
};

inline std::vector<LinearTap> linearTaps(int from, int to) {
    std::vector<LinearTap> out(static_cast<std::size_t>(to));
    const double scale = static_cast<double>(from) / to;
    for (int d = 0; d < to; ++d) {
        const double s = std::clamp((d + 0.5) * scale - 0.5, 0.0, from - 1.0);
        const int i0 = static_cast<int>(s);
        out[static_cast<std::size_t>(d)] = {i0, std::min(i0 + 1, from - 1),
                                            static_cast<float>(s - i0)};
    }
    return out;
}

}  // namespace pelliqo
