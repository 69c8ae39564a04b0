#include "platform/output/CameraOutput.h"

#include "platform/output/LoopbackOutput.h"
#include "platform/output/PipeWireOutput.h"

namespace pelliqo {

CameraOutputPlace findCameraOutputPlace() {
    const auto devices = LoopbackOutput::devices();
    if (!devices.empty()) return {CameraOutputPlace::Kind::loopbackDevice, devices.front(), {}};
    if (PipeWireOutput::available()) return {CameraOutputPlace::Kind::pipeWire, {}, {}};
    return {CameraOutputPlace::Kind::none,
            {},
            "Install v4l2loopback-dkms to use Pelliqo in other apps."};
}

std::unique_ptr<CameraOutput> makeCameraOutput(const CameraOutputPlace& place) {
    switch (place.kind) {
        case CameraOutputPlace::Kind::loopbackDevice:
            return std::make_unique<LoopbackOutput>(place.device);
        case CameraOutputPlace::Kind::pipeWire:
            return std::make_unique<PipeWireOutput>();
        case CameraOutputPlace::Kind::none:
            break;
    }
    return nullptr;
}

}  // namespace pelliqo
