#pragma once

#include <cstdint>
#include <vector>

#include "platform/media/MediaTime.h"

namespace pelliqo {

// A run of sound as every part of the program passes it: read from a file, captured from a
// microphone, or handed to a writer.
struct AudioSample {
    static constexpr int rate = 48000;
    static constexpr int channels = 2;

    std::vector<std::int16_t> samples;  // interleaved stereo, 48 kHz
    MediaTime time;                     // of the first sample, in 1/48000 s
    int frames() const { return static_cast<int>(samples.size() / 2); }
};

}  // namespace pelliqo
