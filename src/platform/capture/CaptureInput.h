#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "errors/Result.h"
#include "platform/media/FFmpeg.h"

namespace pelliqo {

// Seconds on the one monotonic clock that stamps every captured frame and sound buffer.
double captureClock();

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
    std::atomic<bool> paused{false};   // nothing is read while set; the device stays open

    // Opens the source with its options, or without them when the device refuses them.
    static Result<std::unique_ptr<CaptureInput>> open(const CaptureSource& source,
                                                      AVMediaType kind);

    const AVCodecParameters* parameters() const;

    // The rate the device was set to deliver, frames a second; 0 when it does not say.
    double frameRate() const;

    // Reads and decodes until running is cleared, handing each decoded frame over with the
    // capture-clock time its packet arrived. While busy() says the consumer cannot take a
    // frame, a picture coded on its own (Motion-JPEG) is kept undecoded, the newest only, and
    // handed over once a read finds the consumer free (reads from a camera do not block, so
    // within milliseconds); other frames are handed over for the consumer to keep or drop.
    // After a pause the pictures the device kept meanwhile are stale: they are read and left
    // out, and frames come again once reading has caught up. A spoilt picture is left out,
    // unless no picture is whole; a device that fails while running (or gives nothing but
    // spoilt reads for two seconds) is reported through onError, which ends the reading.
    void readFrames(const std::function<void(AVFrame* frame, double arrived)>& onFrame,
                    const std::function<void(const PlatformError&)>& onError,
                    const std::function<bool()>& busy = {});
};

}  // namespace pelliqo
