#pragma once

#include <cmath>
#include <cstdint>

namespace pelliqo {

// A time on a media timeline as a rational number: value × num ÷ den seconds.
struct MediaTime {
    std::int64_t value = 0;
    std::int32_t num = 1;
    std::int32_t den = 1;

    double seconds() const { return den == 0 ? 0 : static_cast<double>(value) * num / den; }
    // Rounded to the timescale; a time that is not finite is 0.
    static MediaTime fromSeconds(double seconds, std::int32_t timescale = 600) {
        if (!std::isfinite(seconds)) return MediaTime{0, 1, timescale};
        return MediaTime{static_cast<std::int64_t>(std::llround(seconds * timescale)), 1,
                         timescale};
    }
    bool operator==(const MediaTime&) const = default;
};

// A track's stored display transform: x' = a·x + c·y + tx, y' = b·x + d·y + ty.
struct AffineTransform {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
    bool operator==(const AffineTransform&) const = default;
};

}  // namespace pelliqo
