#include "platform/capture/CaptureDevices.h"

#include <algorithm>
#include <filesystem>
#include <mutex>

#include "platform/capture/V4l2Node.h"
#include "platform/output/LoopbackOutput.h"

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
}

namespace pelliqo {

namespace {

void registerDevices() {
    static std::once_flag once;
    std::call_once(once, [] { avdevice_register_all(); });
}

struct Listing {
    std::vector<DeviceInfo> devices;
    std::optional<std::string> defaultID;
    bool answered = false;  // the device kind could list (a server or driver is there)
};

// What one input device kind lists; nothing when it cannot list (no server, no driver).
Listing listed(const char* formatName) {
    registerDevices();
    Listing listing;
    const AVInputFormat* format = av_find_input_format(formatName);
    if (format == nullptr) return listing;
    AVDeviceInfoList* list = nullptr;
    if (avdevice_list_input_sources(format, nullptr, nullptr, &list) < 0 || list == nullptr) {
        avdevice_free_list_devices(&list);
        return listing;
    }
    listing.answered = true;
    for (int i = 0; i < list->nb_devices; ++i) {
        const AVDeviceInfo* d = list->devices[i];
        if (d->device_name == nullptr) continue;
        const std::string id = d->device_name;
        const std::string name = d->device_description != nullptr ? d->device_description : id;
        listing.devices.push_back({id, name});
        if (i == list->default_device) listing.defaultID = id;
    }
    avdevice_free_list_devices(&list);
    return listing;
}

bool soundCardPresent() {
    std::error_code e;
    for (const auto& node : std::filesystem::directory_iterator("/dev/snd", e)) {
        if (node.path().filename().string().rfind("pcmC", 0) == 0) return true;
    }
    return false;
}

Listing microphones() {
    if (auto pulse = listed("pulse"); pulse.answered) return pulse;
    // Without a sound card ALSA has nothing to offer, and asking it prints complaints.
    if (!soundCardPresent()) return {};
    // ALSA's "null" device records silence; it is not a microphone.
    auto alsa = listed("alsa");
    std::erase_if(alsa.devices, [](const DeviceInfo& d) { return d.id == "null"; });
    if (alsa.defaultID == "null") alsa.defaultID.reset();
    return alsa;
}

}  // namespace

bool listsDevice(const std::vector<DeviceInfo>& devices, const std::string& id) {
    return std::any_of(devices.begin(), devices.end(),
                       [&](const DeviceInfo& d) { return d.id == id; });
}

std::vector<DeviceInfo> listCameras() {
    // FFmpeg's listing takes every node for a camera, metadata and output nodes too.
    return camerasAmong(videoNodes(), stableNodeNames(), LoopbackOutput::inUse());
}

std::vector<DeviceInfo> listMicrophones() {
    return microphones().devices;
}

std::optional<std::string> defaultCamera() {
    return std::nullopt;  // V4L2 names no default: the first camera serves
}

std::optional<std::string> defaultMicrophone() {
    return microphones().defaultID;
}

bool soundServerRuns() {
    return listed("pulse").answered;
}

}  // namespace pelliqo
