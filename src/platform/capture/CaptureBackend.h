#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/capture/CaptureDevices.h"
#include "platform/capture/CaptureInput.h"
#include "platform/capture/DeviceWatcher.h"
#include "platform/capture/PermissionStore.h"

namespace pelliqo {

// The capture devices as the camera source sees them: the lists, the system's default
// choices, whether the user allowed each kind, and where each device is opened from.
class CaptureBackend {
  public:
    virtual ~CaptureBackend() = default;

    virtual std::vector<DeviceInfo> cameras() const = 0;
    virtual std::vector<DeviceInfo> microphones() const = 0;
    virtual std::optional<std::string> defaultCamera() const = 0;
    virtual std::optional<std::string> defaultMicrophone() const = 0;
    virtual Authorization authorization(DeviceKind kind) const = 0;
    // Where to open the device with this id, or nothing when there is no such device.
    virtual std::optional<CaptureSource> source(DeviceKind kind, const std::string& id) const = 0;
    // Calls back (on another thread) when devices may have come or gone; nothing when the
    // devices never change.
    virtual std::unique_ptr<DeviceWatcher> watch(std::function<void()> changed) const = 0;
};

struct CaptureOptions {
    // Also offer the test camera and the test microphone, both with the id "test".
    bool testDevices = false;
    // The user asked for capture by running a command: that is their consent, and only the
    // system's own refusal counts.
    bool consentGiven = false;
};

// The real devices (V4L2 cameras, PulseAudio or ALSA microphones), with the user's consent
// from the permission store.
std::unique_ptr<CaptureBackend> makeCaptureBackend(CaptureOptions options = {});

inline constexpr const char* testDeviceID = "test";

}  // namespace pelliqo
