#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <string>

#include "errors/Result.h"
#include "platform/FFmpeg.h"

namespace pelliqo {

// Where a capture comes from: an FFmpeg input device, its address and options.
struct CaptureSource {
    std::string format;  // "video4linux2", "pulse", "alsa", "lavfi", …
    std::string url;
    std::map<std::string, std::string> options;
};

// One opened capture device: its demuxer, the decoder of its first stream of the kind asked
// for, and the flag that lets a blocking read be interrupted from another thread.
struct CaptureInput {
    ff::InputFormat format;
    ff::CodecContext decoder;
    int streamIndex = -1;
    std::atomic<bool> running{false};  // reads give up once this is cleared

    // Opens the source with its options, or without them when the device refuses them.
    static Result<std::unique_ptr<CaptureInput>> open(const CaptureSource& source,
                                                      AVMediaType kind);

    const AVCodecParameters* parameters() const;
    // Reads do not block; when one finds nothing yet, this waits briefly before the next.
    static void waitForData();
};

}  // namespace pelliqo
