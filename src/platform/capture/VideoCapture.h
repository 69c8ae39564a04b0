#pragma once

#include <functional>
#include <memory>
#include <string>

#include "errors/Result.h"
#include "platform/capture/CaptureInput.h"
#include "platform/image/PixelBuffer.h"
#include "platform/system/SerialQueue.h"

namespace pelliqo {

// A camera by its device node, asking for 1280 × 720.
CaptureSource cameraSource(const std::string& device);
// The test camera: a moving test picture at 1280 × 720, 30 frames a second, in real time.
CaptureSource testCameraSource();

// Frames from a capture device as BGRA, stamped on arrival with captureClock(). Frames are
// delivered on the given queue, one at a time: of the frames that arrive while one is still
// waiting or being handled there, only the newest is kept, and handed over when it is done.
class VideoCapture {
  public:
    using FrameHandler = std::function<void(const PixelBuffer& frame, double seconds)>;
    using ErrorHandler = std::function<void(const PlatformError& error)>;

    static Result<std::unique_ptr<VideoCapture>> open(const CaptureSource& source);
    ~VideoCapture();
    VideoCapture(const VideoCapture&) = delete;
    VideoCapture& operator=(const VideoCapture&) = delete;

    int width() const;
    int height() const;
    // The rate the camera was set to deliver, frames a second; 0 when it does not say.
    double frameRate() const;
    // While paused the camera stays open and nothing is read or delivered; after it, the
    // first frame delivered is one taken after the pause. Safe from any thread.
    void setPaused(bool paused);

    // Starts reading on a thread of its own; onError is called (on that thread) when the
    // device fails while running.
    void start(SerialQueue& queue, FrameHandler onFrame, ErrorHandler onError = {});
    // Stops reading and waits for the reading thread.
    void stop();

    struct State;

  private:
    explicit VideoCapture(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::shared_ptr<State> state_;
};

}  // namespace pelliqo
