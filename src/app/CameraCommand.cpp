#include "app/CameraCommand.h"

#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <optional>

#include "app/Arguments.h"
#include "app/CommandLine.h"
#include "app/CommandSupport.h"
#include "app/EffectOptions.h"
#include "app/LiveCommandSupport.h"
#include "errors/Texts.h"
#include "live/RecordModel.h"
#include "platform/system/Interrupt.h"

namespace pelliqo {

namespace {

struct CameraOptions {
    std::optional<std::string> camera;
    std::optional<double> seconds;  // none: until Ctrl-C
    EffectSettings settings;
};

std::span<const OptionSpec> cameraOptionSpecs() {
    static const std::vector<OptionSpec> specs =
        withEffectOptions({{"--camera", true}, {"--seconds", true}});
    return specs;
}

// The options, or the problem to show with the usage.
std::variant<CameraOptions, std::string> readOptions(const std::vector<std::string>& args) {
    const auto parsed = parseArguments(args, cameraOptionSpecs());
    if (const auto* problem = std::get_if<std::string>(&parsed)) return *problem;
    const auto& arguments = std::get<Arguments>(parsed);
    if (!arguments.positional.empty()) return "takes no file names";
    CameraOptions options;
    options.camera = arguments.value("--camera");
    if (auto problem = readLiveOptions(arguments, options.seconds, options.settings))
        return *problem;
    return options;
}

// Runs the camera until the time is up or Ctrl-C; the exit code.
int show(RecordModel& model, const CameraOptions& options, std::ostream& err) {
    QEventLoop loop;
    QTimer poll;
    int code = exitCode::ok;
    bool announced = false;
    std::chrono::steady_clock::time_point started;
    const auto stop = [&](std::optional<ErrorInfo> problem) {
        if (problem) {
            printError(err, *problem);
            code = exitCode::failure;
        }
        loop.quit();
    };
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (const auto& problem = model.camera().problem()) return stop(*problem);
        if (model.errorInfo()) return stop(*model.errorInfo());
        if (InterruptGuard::interrupted()) return stop(std::nullopt);
        if (!announced && model.hasCameraFrames()) {
            err << "Other apps can now pick \"" << cameraOutputName << "\". Press Ctrl-C to stop.\n"
                << std::flush;
            announced = true;
            started = std::chrono::steady_clock::now();
        }
        const std::chrono::duration<double> shown = std::chrono::steady_clock::now() - started;
        if (announced && options.seconds && shown.count() >= *options.seconds) stop(std::nullopt);
    });
    poll.start(20);
    loop.exec();
    return code;
}

int usageError(std::ostream& err, const std::string& problem) {
    return pelliqo::usageError(err, "camera", problem, usageWithEffectOptions(cameraUsage).c_str());
}

}  // namespace

int runCamera(const std::vector<std::string>& args, std::ostream&, std::ostream& err) {
    const auto read = readOptions(args);
    if (const auto* problem = std::get_if<std::string>(&read)) return usageError(err, *problem);
    const auto& options = std::get<CameraOptions>(read);
    if (!settingsReady(options.settings, err)) return exitCode::failure;
    const auto app = commandApplication();

    // Running the command is the user's consent; the system may still refuse the camera.
    RecordModel model(makeCaptureBackend({options.camera == testDeviceID, true}));
    CameraSource& camera = model.camera();
    if (camera.backend().authorization(DeviceKind::camera) != Authorization::authorized) {
        err << cameraAccessOff << "\n";
        return exitCode::failure;
    }
    camera.refreshDevices();
    if (!chooseCamera(camera, options.camera, err)) return exitCode::failure;
    model.setSettings(options.settings);
    model.setPreviewsWanted(false);
    model.setMicOn(false);
    if (!startVirtualCamera(model, err)) return exitCode::failure;
    InterruptGuard guard;
    camera.start();
    const int code = show(model, options, err);
    camera.stop();
    return code;
}

}  // namespace pelliqo
