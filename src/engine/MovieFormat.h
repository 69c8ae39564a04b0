#pragma once

#include <cstdint>
#include <string_view>

#include "engine/EffectSettings.h"
#include "platform/media/MovieWriter.h"

namespace pelliqo {

// What a finished movie is written as. A transparent background needs a codec with alpha,
// and the only one at hand is ProRes 4444, which lives in QuickTime movies; everything
// else is H.264 in MPEG-4.
struct MovieFormat {
    MovieFileType fileType;
    VideoEncoding::Codec codec;
    std::string_view extension;  // without the dot
    std::string_view codecName;  // as the screens name it
    bool hasAlpha;
};

MovieFormat movieFormat(bool transparent);
MovieFormat movieFormat(BackgroundKind kind);

// The settings next, but with current's background kind where next's would write the other
// format (opaque or transparent): what a running recording can take, its file being made.
EffectSettings keepingFormat(EffectSettings next, const EffectSettings& current);

// A frame side as encoders take it: truncated, even, at least 2 (1281 → 1280, 1 → 2);
// anything not finite counts as 0.
int evenSide(double side);

// Bit rate for a frame size: 4 bits per pixel per second, never below 1,000,000.
std::int64_t videoBitRate(std::int64_t width, std::int64_t height);

}  // namespace pelliqo
