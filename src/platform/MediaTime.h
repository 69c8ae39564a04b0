#pragma once

#include <cstdint>

namespace pelliqo {

// A time on a media timeline as a rational number: value × num ÷ den seconds.
struct MediaTime {
    std::int64_t value = 0;
    std::int32_t num = 1;
    std::int32_t den = 1;

    double seconds() const { return den == 0 ? 0 : static_cast<double>(value) * num / den; }
    static MediaTime fromSeconds(double seconds, std::int32_t timescale = 600);
    bool operator==(const MediaTime&) const = default;
};

// A track's stored display transform: x' = a·x + c·y + tx, y' = b·x + d·y + ty.
struct AffineTransform {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
    bool operator==(const AffineTransform&) const = default;
};

}  // namespace pelliqo
