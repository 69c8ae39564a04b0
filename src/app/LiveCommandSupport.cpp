#include "app/LiveCommandSupport.h"

#include "app/EffectOptions.h"
#include "engine/PresetStore.h"
#include "errors/Texts.h"
#include "platform/system/UserDefaults.h"

namespace pelliqo {

std::vector<OptionSpec> withEffectOptions(std::initializer_list<OptionSpec> own) {
    std::vector<OptionSpec> all(own);
    const auto effects = effectOptionSpecs();
    all.insert(all.end(), effects.begin(), effects.end());
    return all;
}

std::optional<std::string> readLiveOptions(const Arguments& arguments,
                                           std::optional<double>& seconds,
                                           EffectSettings& settings) {
    if (const auto text = arguments.value("--seconds")) {
        seconds = parseNumber(*text);
        if (!seconds || *seconds <= 0) return "--seconds needs a number of seconds above 0";
    }
    const PresetStore presets(openUserDefaults());
    if (auto problem = applyEffectOptions(arguments, settings, presets)) return problem;
    // The subject engine is for files; its model is not needed here.
    settings.useSubjectMask = false;
    return std::nullopt;
}

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
