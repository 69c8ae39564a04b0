#include "engine/MovieFormat.h"

#include <algorithm>
#include <cmath>

namespace pelliqo {

MovieFormat movieFormat(bool transparent) {
    if (transparent)
        return {MovieFileType::quickTime, VideoEncoding::Codec::prores4444, "mov",
                "ProRes 4444 with alpha", true};
    return {MovieFileType::mpeg4, VideoEncoding::Codec::h264, "mp4", "H.264", false};
}

MovieFormat movieFormat(BackgroundKind kind) {
    return movieFormat(kind == BackgroundKind::transparent);
}

EffectSettings keepingFormat(EffectSettings next, const EffectSettings& current) {
    if (movieFormat(next.kind).hasAlpha != movieFormat(current.kind).hasAlpha)
        next.kind = current.kind;
    return next;
}

int evenSide(double side) {
    // Clamped first: no encoder takes sides anywhere near the int range.
    const double whole = std::isfinite(side) ? std::trunc(std::clamp(side, 0.0, 1e9)) : 0;
    return std::max(static_cast<int>(whole) & ~1, 2);
}

std::int64_t videoBitRate(std::int64_t width, std::int64_t height) {
    return std::max<std::int64_t>(width * height * 4, 1'000'000);
}

}  // namespace pelliqo
