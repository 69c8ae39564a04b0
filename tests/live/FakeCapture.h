#pragma once

#include <memory>
#include <mutex>

#include "platform/capture/AudioCapture.h"
#include "platform/capture/CaptureBackend.h"

namespace pelliqo::test {

// What the fake system offers; tests change it while the backend is in use.
struct FakeDevices {
    std::vector<DeviceInfo> cameras;
    std::vector<DeviceInfo> microphones;
    std::optional<std::string> defaultCamera{};
    std::optional<std::string> defaultMicrophone{};
    Authorization camera = Authorization::authorized;
    Authorization microphone = Authorization::authorized;
};

// Devices without hardware: FFmpeg test pictures at 64 × 48, and the test tone.
class FakeCapture final : public CaptureBackend {
  public:
    explicit FakeCapture(std::shared_ptr<FakeDevices> devices = std::make_shared<FakeDevices>())
        : devices_(std::move(devices)) {}

    std::shared_ptr<FakeDevices> devices() const { return devices_; }

    std::vector<DeviceInfo> cameras() const override { return read().cameras; }
    std::vector<DeviceInfo> microphones() const override { return read().microphones; }
    std::optional<std::string> defaultCamera() const override { return read().defaultCamera; }
    std::optional<std::string> defaultMicrophone() const override {
        return read().defaultMicrophone;
    }
    Authorization authorization(DeviceKind kind) const override {
        const FakeDevices d = read();
        return kind == DeviceKind::camera ? d.camera : d.microphone;
    }
    std::optional<CaptureSource> source(DeviceKind kind, const std::string& id) const override {
        const std::string picture = "testsrc2=size=64x48:rate=30,realtime";
        if (kind == DeviceKind::microphone) {
            if (id == "tone") return testMicrophoneSource();
            if (id == "brief") {
                return CaptureSource{"lavfi",
                                     "sine=frequency=440:sample_rate=48000:samples_per_frame=960:"
                                     "duration=1,arealtime",
                                     {}};
            }
            return std::nullopt;
        }
        if (id == "cam") return CaptureSource{"lavfi", picture, {}};
        if (id == "still") {
            return CaptureSource{"lavfi",
                                 "color=c=red:size=64x48:rate=15,drawbox=x=0:y=0:w=16:h=48:"
                                 "color=blue:t=fill,realtime",
                                 {}};
        }
        if (id == "late") return CaptureSource{"lavfi", picture + ",trim=start=1.5", {}};
        if (id == "brief") return CaptureSource{"lavfi", picture + ",trim=end=1.5", {}};
        if (id == "stalls") {  // nothing from 1 s to 2.8 s
            return CaptureSource{
                "lavfi", "testsrc2=size=64x48:rate=30,select='not(between(t,1,2.8))',realtime", {}};
        }
        if (id == "broken") return CaptureSource{"lavfi", "nosuchfilter", {}};
        return std::nullopt;
    }
    std::unique_ptr<DeviceWatcher> watch(std::function<void()> changed) const override {
        std::lock_guard guard(lock_);
        changed_ = std::move(changed);
        return nullptr;
    }
    // The system tells of a device plugged in or out.
    void announce() {
        std::function<void()> changed;
        {
            std::lock_guard guard(lock_);
            changed = changed_;
        }
        if (changed) changed();
    }

    template <class Change>
    void change(Change change) {
        std::lock_guard guard(lock_);
        change(*devices_);
    }

  private:
    FakeDevices read() const {
        std::lock_guard guard(lock_);
        return *devices_;
    }
    mutable std::mutex lock_;
    std::shared_ptr<FakeDevices> devices_;
    mutable std::function<void()> changed_;
};

}  // namespace pelliqo::test
