#include "app/LiveCommandSupport.h"

#include "errors/Texts.h"

namespace pelliqo {

void printError(std::ostream& err, const ErrorInfo& info) {
    err << info.title << "\n" << info.message << "\n";
}

bool chooseCamera(CameraSource& camera, const std::optional<std::string>& id, std::ostream& err) {
    if (!id) return true;
    if (!listsDevice(camera.cameras(), *id)) {
        err << text::title::noCameraFound << "\nThere is no camera \"" << *id
            << "\". \"pelliqo devices\" lists them.\n";
        return false;
    }
    camera.setSelectedCameraID(*id);
    return true;
}

bool startVirtualCamera(RecordModel& model, std::ostream& err) {
    model.setVirtualCamera(true);
    if (model.virtualCamera()) return true;
    err << "No camera for other apps\n" << model.virtualCameraUnavailable() << "\n";
    return false;
}

}  // namespace pelliqo
