#pragma once

#include <memory>
#include <optional>
#include <string>

#include "errors/PlatformError.h"
#include "platform/image/PixelBuffer.h"

namespace pelliqo {

// A camera that other applications (video calls, browsers) can pick, showing the frames
// published to it. Used from one thread at a time, except hasReader().
class CameraOutput {
  public:
    virtual ~CameraOutput() = default;

    // Offers a camera of this size and rate; starting again with another size replaces it.
    virtual std::optional<PlatformError> start(int width, int height, int framesPerSecond) = 0;
    // Shows one BGRA frame of the started size. A frame no application is waiting for is
    // dropped, not queued. An error means the camera has gone.
    virtual std::optional<PlatformError> publish(const PixelBuffer& frame) = 0;
    // Takes the camera off other applications' lists (a loopback device stays, showing
    // nothing new).
    virtual void stop() = 0;
    // Whether an application is taking frames now, or may be where the place cannot tell;
    // also when the camera has gone, so that the next publish says so. Safe from any thread.
    virtual bool hasReader() const = 0;
};

inline constexpr const char* cameraOutputName = "Pelliqo camera";

// Where other applications find the camera on this machine, if anywhere.
struct CameraOutputPlace {
    enum class Kind { loopbackDevice, pipeWire, none };
    Kind kind = Kind::none;
    std::string device;  // the loopback device's path
    std::string reason;  // for none: why, and how to fix it, in one line
};

// A v4l2loopback device (the one labelled with our name, or else the first) when there is
// one, which every application reads; otherwise a PipeWire video source when PipeWire runs.
CameraOutputPlace findCameraOutputPlace();

// The output for a place found above; nothing for none.
std::unique_ptr<CameraOutput> makeCameraOutput(const CameraOutputPlace& place);

}  // namespace pelliqo
