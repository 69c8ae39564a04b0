#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pelliqo {

// One camera or microphone as the screens list it.
struct DeviceInfo {
    std::string id;    // stable identifier: the camera's by-id link (else its node), the sound
                       // source's name
    std::string name;  // what the driver or sound server calls it
    bool operator==(const DeviceInfo&) const = default;
};

// Whether the list holds a device with this id.
bool listsDevice(const std::vector<DeviceInfo>& devices, const std::string& id);

// Video capture devices (V4L2 capture nodes), in the order of their nodes.
std::vector<DeviceInfo> listCameras();

// Sound sources: the PulseAudio server's, or ALSA's when no server runs.
std::vector<DeviceInfo> listMicrophones();

// The system's own choice of camera or microphone, when it names one.
std::optional<std::string> defaultCamera();
std::optional<std::string> defaultMicrophone();

// Whether a PulseAudio server answers.
bool soundServerRuns();

}  // namespace pelliqo
