#include "app/RecordCommand.h"

#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <filesystem>
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

namespace fs = std::filesystem;

constexpr std::string_view micAccessOff =
    "Microphone access is off, so recordings will have no sound.";

struct RecordOptions {
    std::optional<std::string> camera;
    std::optional<std::string> microphone;  // "none": no sound
    std::optional<double> seconds;          // none: until Ctrl-C
    bool keepOriginal = false;
    bool mirror = false;
    bool virtualCamera = false;
    std::optional<fs::path> folder;
    EffectSettings settings;
};

std::span<const OptionSpec> recordOptionSpecs() {
    static const std::vector<OptionSpec> specs = withEffectOptions({{"--camera", true},
                                                                    {"--microphone", true},
                                                                    {"--seconds", true},
                                                                    {"--keep-original", false},
                                                                    {"--mirror", false},
                                                                    {"--folder", true},
                                                                    {"--virtual-camera", false}});
    return specs;
}

// The options, or the problem to show with the usage.
std::variant<RecordOptions, std::string> readOptions(const std::vector<std::string>& args) {
    const auto parsed = parseArguments(args, recordOptionSpecs());
    if (const auto* problem = std::get_if<std::string>(&parsed)) return *problem;
    const auto& arguments = std::get<Arguments>(parsed);
    if (!arguments.positional.empty()) return "takes no file names; use --folder";
    RecordOptions options;
    options.camera = arguments.value("--camera");
    options.microphone = arguments.value("--microphone");
    options.keepOriginal = arguments.flags.contains("--keep-original");
    options.mirror = arguments.flags.contains("--mirror");
    options.virtualCamera = arguments.flags.contains("--virtual-camera");
    if (const auto folder = arguments.value("--folder")) options.folder = fs::path(*folder);
    if (auto problem = readLiveOptions(arguments, options.seconds, options.settings))
        return *problem;
    return options;
}

// Other apps' camera failing is said, and the rest goes on without it.
void reportStoppedOutput(RecordModel& model, std::ostream& err) {
    const auto& info = model.errorInfo();
    if (!info || info->title != text::title::cameraOutputStopped) return;
    printError(err, *info);
    model.setErrorInfo(std::nullopt);
}

// One recording, driven by polling the model from the event loop.
class Session {
  public:
    Session(RecordModel& model, const RecordOptions& options, std::ostream& out, std::ostream& err)
        : model_(model), options_(options), out_(out), err_(err) {}

    int run() {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (step()) loop.quit();
        });
        poll.start(20);
        loop.exec();
        return code_;
    }

  private:
    enum class Phase { waitingForPicture, starting, recording, saving };

    // One look at the model; true when the command is over.
    bool step() {
        CameraSource& camera = model_.camera();
        switch (phase_) {
            case Phase::waitingForPicture:
                if (camera.problem()) return fail(*camera.problem());
                if (InterruptGuard::interrupted()) return true;
                if (!model_.hasCameraFrames()) return false;
                model_.startRecording();
                phase_ = Phase::starting;
                return false;
            case Phase::starting:
                if (model_.isStarting()) return false;
                if (!model_.isRecording()) return fail(*model_.errorInfo());
                started_ = std::chrono::steady_clock::now();
                err_ << "Recording. Press Ctrl-C to stop.\n" << std::flush;
                phase_ = Phase::recording;
                return false;
            case Phase::recording:
                reportStoppedOutput(model_, err_);
                if (camera.micProblem() && !micProblemShown_) {
                    // Said once; the recording goes on without sound.
                    printError(err_, *camera.micProblem());
                    micProblemShown_ = true;
                }
                if (model_.isRecording() && !timeIsUp() && !InterruptGuard::interrupted() &&
                    !camera.problem()) {
                    return false;
                }
                cameraProblem_ = camera.problem();
                model_.stopRecording();  // nothing to stop after a recorder failure
                phase_ = Phase::saving;
                return false;
            case Phase::saving:
                if (model_.savedURLs().empty() && !model_.errorInfo()) return false;
                for (const fs::path& file : model_.savedURLs()) out_ << file.string() << "\n";
                if (model_.errorInfo()) return fail(*model_.errorInfo());
                if (cameraProblem_) return fail(*cameraProblem_);
                return true;
        }
        return true;
    }

    bool timeIsUp() const {
        if (!options_.seconds) return false;
        // Counted as the file counts it, so a slow first frame does not shorten it; a camera
        // that sends nothing after the start does not hold the command forever.
        const double recorded = model_.recordedSeconds();
        if (recorded > 0) return recorded >= *options_.seconds;
        const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - started_;
        return waited.count() >= *options_.seconds;
    }

    bool fail(const ErrorInfo& info) {
        printError(err_, info);
        code_ = exitCode::failure;
        return true;
    }

    RecordModel& model_;
    const RecordOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    Phase phase_ = Phase::waitingForPicture;
    std::chrono::steady_clock::time_point started_;
    std::optional<ErrorInfo> cameraProblem_;
    bool micProblemShown_ = false;
    int code_ = exitCode::ok;
};

// Applies the device choices; false after saying what is wrong.
bool chooseDevices(RecordModel& model, const RecordOptions& options, std::ostream& err) {
    CameraSource& camera = model.camera();
    const CaptureBackend& devices = camera.backend();
    camera.refreshDevices();
    if (!chooseCamera(camera, options.camera, err)) return false;
    if (options.microphone == "none") {
        model.setMicOn(false);
    } else if (options.microphone) {
        if (!listsDevice(camera.microphones(), *options.microphone)) {
            err << "No microphone found\nThere is no microphone \"" << *options.microphone
                << "\". \"pelliqo devices\" lists them.\n";
            return false;
        }
        camera.setSelectedMicID(*options.microphone);
    }
    if (model.micOn() && devices.authorization(DeviceKind::microphone) != Authorization::authorized)
        err << micAccessOff << "\n";
    return true;
}

int usageError(std::ostream& err, const std::string& problem) {
    return pelliqo::usageError(err, "record", problem, usageWithEffectOptions(recordUsage).c_str());
}

}  // namespace

int runRecord(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const auto read = readOptions(args);
    if (const auto* problem = std::get_if<std::string>(&read)) return usageError(err, *problem);
    const auto& options = std::get<RecordOptions>(read);
    const EffectSettings& settings = options.settings;
    if (!settingsReady(settings, err)) return exitCode::failure;
    const auto app = commandApplication();

    // Running the command is the user's consent; the system may still refuse the devices.
    const bool testDevices = options.camera == testDeviceID || options.microphone == testDeviceID;
    RecordModel model(makeCaptureBackend({testDevices, true}));
    if (model.camera().backend().authorization(DeviceKind::camera) != Authorization::authorized) {
        err << cameraAccessOff << "\n";
        return exitCode::failure;
    }
    model.setSettings(settings);
    model.setPreviewsWanted(false);
    model.setKeepOriginal(options.keepOriginal);
    model.setMirrorRecording(options.mirror);
    if (options.folder) model.setFolder([folder = *options.folder] { return folder; });
    if (!chooseDevices(model, options, err)) return exitCode::failure;
    if (options.virtualCamera && !startVirtualCamera(model, err)) return exitCode::failure;

    InterruptGuard guard;
    model.camera().start();
    const int code = Session(model, options, out, err).run();
    model.camera().stop();
    return code;
}

}  // namespace pelliqo
