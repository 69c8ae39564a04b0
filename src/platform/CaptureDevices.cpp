#include "platform/CaptureDevices.h"

#include <mutex>

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

// What one input device kind lists; nothing when it cannot list (no server, no driver).
std::vector<DeviceInfo> listed(const char* formatName) {
    registerDevices();
    std::vector<DeviceInfo> devices;
    const AVInputFormat* format = av_find_input_format(formatName);
    if (format == nullptr) return devices;
    AVDeviceInfoList* list = nullptr;
    if (avdevice_list_input_sources(format, nullptr, nullptr, &list) < 0 || list == nullptr) {
        avdevice_free_list_devices(&list);
        return devices;
    }
    for (int i = 0; i < list->nb_devices; ++i) {
        const AVDeviceInfo* d = list->devices[i];
        if (d->device_name == nullptr) continue;
        const std::string id = d->device_name;
        const std::string name = d->device_description != nullptr ? d->device_description : id;
        devices.push_back({id, name});
    }
    avdevice_free_list_devices(&list);
    return devices;
}

}  // namespace

std::vector<DeviceInfo> listCameras() {
    return listed("video4linux2");
}

std::vector<DeviceInfo> listMicrophones() {
    if (auto pulse = listed("pulse"); !pulse.empty()) return pulse;
    // ALSA's "null" device records silence; it is not a microphone.
    auto alsa = listed("alsa");
    std::erase_if(alsa, [](const DeviceInfo& d) { return d.id == "null"; });
    return alsa;
}

}  // namespace pelliqo
