#include "platform/capture/CaptureBackend.h"

#include "platform/capture/AudioCapture.h"
#include "platform/capture/VideoCapture.h"

namespace pelliqo {

namespace {

class SystemCapture final : public CaptureBackend {
  public:
    explicit SystemCapture(CaptureOptions options) : options_(options) {}

    std::vector<DeviceInfo> cameras() const override {
        auto devices = listCameras();
        if (options_.testDevices) devices.push_back({testDeviceID, "Test camera"});
        return devices;
    }
    std::vector<DeviceInfo> microphones() const override {
        auto devices = listMicrophones();
        if (options_.testDevices) devices.push_back({testDeviceID, "Test microphone"});
        return devices;
    }
    std::optional<std::string> defaultCamera() const override { return pelliqo::defaultCamera(); }
    std::optional<std::string> defaultMicrophone() const override {
        return pelliqo::defaultMicrophone();
    }
    Authorization authorization(DeviceKind kind) const override {
        if (!options_.consentGiven) return store_.status(kind);
        return PermissionStore::systemAllows(kind) ? Authorization::authorized
                                                   : Authorization::denied;
    }
    std::optional<CaptureSource> source(DeviceKind kind, const std::string& id) const override {
        const bool camera = kind == DeviceKind::camera;
        if (options_.testDevices && id == testDeviceID)
            return camera ? testCameraSource() : testMicrophoneSource();
        if (!listsDevice(camera ? listCameras() : listMicrophones(), id)) return std::nullopt;
        return camera ? cameraSource(id) : microphoneSource(id);
    }
    std::unique_ptr<DeviceWatcher> watch(std::function<void()> changed) const override {
        return std::make_unique<DeviceWatcher>(DeviceWatcher::deviceNodes(), std::move(changed));
    }

  private:
    CaptureOptions options_;
    PermissionStore store_;
};

}  // namespace

std::unique_ptr<CaptureBackend> makeCaptureBackend(CaptureOptions options) {
    return std::make_unique<SystemCapture>(options);
}

}  // namespace pelliqo
