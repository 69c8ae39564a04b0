#include "live/CameraSource.h"

#include <QPointer>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <future>
#include <limits>

#include "errors/AppErr.h"
#include "errors/Texts.h"
#include "platform/capture/AudioCapture.h"
#include "platform/capture/VideoCapture.h"
#include "platform/system/MainQueue.h"
#include "platform/system/SerialQueue.h"
#include "platform/system/WeakTask.h"

namespace pelliqo {

namespace {

// Keeps a selection that is still listed; otherwise the system's default (even when it is
// not listed), else the first device, else nothing.
std::string repaired(const std::string& selected, const std::vector<DeviceInfo>& devices,
                     const std::optional<std::string>& systemDefault) {
    if (listsDevice(devices, selected)) return selected;
    if (systemDefault) return *systemDefault;
    return devices.empty() ? std::string() : devices.front().id;
}

}  // namespace

struct CameraSource::Core : std::enable_shared_from_this<Core> {
    std::unique_ptr<CaptureBackend> backend;
    QPointer<CameraSource> owner;  // made on the main thread, tested only there
    Locked<bool> gotFrame{false};  // since the start, or since no pictures were reported
    Locked<double> lastFrame{0};   // capture clock: the last frame, or when waiting began
    Locked<bool> micEnabled{true};
    Locked<double> lastLevelTime{-std::numeric_limits<double>::infinity()};
    VideoHandler onVideo;
    AudioHandler onAudio;
    std::atomic<std::uint64_t> stops{0};  // stop() calls so far, for late reports
    std::atomic<bool> paused{false};

    // The queues come before the inputs: the inputs deliver onto them, so they must stop
    // first when the core goes.
    SerialQueue sessionQueue{"pelliqo.session"};
    SerialQueue videoQueue{"pelliqo.video"};
    SerialQueue audioQueue{"pelliqo.audio"};
    // The session: touched only on sessionQueue.
    std::unique_ptr<VideoCapture> camera;
    std::unique_ptr<AudioCapture> mic;
    bool running = false;

    void toMain(std::function<void(CameraSource&)> work) const {
        mainQueue::async([owner = owner, work = std::move(work)] {
            if (CameraSource* source = owner.data()) work(*source);
        });
    }

    void configure(const std::string& cameraID, const std::string& micID, std::uint64_t stopsThen);
    std::optional<ErrorInfo> addCamera(const std::string& id);
    void addMicrophone(const std::string& id);
    void startInputs();
    void halt();
    void removeInputs();
    void handleVideo(const CapturedFrame& frame);
    void handleAudio(const CapturedAudio& audio);
    void publishLevel(float level);
    void cameraFailed(const PlatformError& error);
    void micFailed();
};

void CameraSource::Core::configure(const std::string& cameraID, const std::string& micID,
                                   std::uint64_t stopsThen) {
    removeInputs();
    const std::optional<ErrorInfo> problem = addCamera(cameraID);
    addMicrophone(micID);
    // A problem leaves a stopped session stopped; a running one keeps running.
    if (!problem) running = true;
    if (running) startInputs();
    const bool nowRunning = running;
    toMain([problem, nowRunning, stopsThen](CameraSource& source) {
        source.setProblem(problem);
        // A stop() asked for after this configuration has the last word on running.
        if (source.core_->stops == stopsThen) source.setIsRunning(nowRunning);
    });
}

std::optional<ErrorInfo> CameraSource::Core::addCamera(const std::string& id) {
    const auto source = backend->source(DeviceKind::camera, id);
    if (!source) return ErrorInfo::report(text::title::noCameraFound, text::report::noCameraFound);
    auto opened = VideoCapture::open(*source);
    if (!opened) {
        const PlatformError& e = opened.error();
        if (e.domain == domain::posix && e.code == EBUSY)
            return ErrorInfo::report(text::title::cameraUnavailable, text::report::cameraRefused);
        return ErrorInfo::make(text::title::cameraUnavailable, e, Failed::camera);
    }
    camera = std::move(opened).value();
    return std::nullopt;
}

void CameraSource::Core::addMicrophone(const std::string& id) {
    // Any trouble with the microphone is silent: the recording goes on without sound.
    if (backend->authorization(DeviceKind::microphone) != Authorization::authorized) return;
    const auto source = backend->source(DeviceKind::microphone, id);
    if (!source) return;
    if (auto opened = AudioCapture::open(*source)) mic = std::move(opened).value();
}

void CameraSource::Core::startInputs() {
    const std::weak_ptr<Core> weak = weak_from_this();
    if (camera) {
        camera->setPaused(paused);
        camera->start(
            videoQueue,
            [weak, rate = camera->frameRate()](const PixelBuffer& buffer, double time) {
                if (auto core = weak.lock()) core->handleVideo({buffer, time, rate});
            },
            [weak](const PlatformError& error) {
                if (auto core = weak.lock()) core->cameraFailed(error);
            });
    }
    if (mic) {
        mic->setPaused(paused);
        mic->start(
            audioQueue,
            [weak](const CapturedAudio& audio) {
                if (auto core = weak.lock()) core->handleAudio(audio);
            },
            [weak](const PlatformError&) {
                if (auto core = weak.lock()) core->micFailed();
            });
    }
}

void CameraSource::Core::halt() {
    if (!running) return;
    if (camera) camera->stop();
    if (mic) mic->stop();
    running = false;
}

void CameraSource::Core::removeInputs() {
    camera.reset();
    mic.reset();
}

void CameraSource::Core::handleVideo(const CapturedFrame& frame) {
    lastFrame.set(captureClock());
    if (!gotFrame.get()) {
        gotFrame.set(true);
        // The first frame after a start, or after a stall, clears whatever problem is shown.
        toMain([](CameraSource& source) {
            if (source.problem_) source.setProblem(std::nullopt);
        });
    }
    if (onVideo) onVideo(frame);
}

void CameraSource::Core::handleAudio(const CapturedAudio& audio) {
    if (!micEnabled.get()) {
        publishLevel(0);
        return;
    }
    publishLevel(levelFor(audio.channelPower));
    if (onAudio) onAudio(audio.sample);
}

void CameraSource::Core::publishLevel(float level) {
    const double now = captureClock();
    // A level too soon after the last one is dropped, not delayed.
    if (!(now - lastLevelTime.get() > levelInterval)) return;
    lastLevelTime.set(now);
    toMain([level](CameraSource& source) { source.setLevel(level); });
}

void CameraSource::Core::cameraFailed(const PlatformError& error) {
    sessionQueue.async([weak = weak_from_this()] {
        if (auto core = weak.lock()) core->halt();
    });
    toMain([error](CameraSource& source) {
        source.setProblem(ErrorInfo::make(text::title::cameraStopped, error, Failed::camera));
        source.setIsRunning(false);
    });
}

void CameraSource::Core::micFailed() {
    // The picture goes on: a recording keeps its video and ends its sound here.
    toMain([](CameraSource& source) {
        source.setMicProblem(
            ErrorInfo::report(text::title::microphoneStopped, text::report::microphoneStopped));
        source.setLevel(0);
    });
}

CameraSource::CameraSource(std::unique_ptr<CaptureBackend> backend, QObject* parent)
    : QObject(parent), core_(std::make_shared<Core>()) {
    core_->backend = std::move(backend);
    core_->owner = this;
    watcher_ = core_->backend->watch([owner = QPointer<CameraSource>(this)] {
        mainQueue::async([owner] {
            if (CameraSource* source = owner.data()) source->devicesChanged();
        });
    });
}

CameraSource::~CameraSource() {
    watcher_.reset();
    // The capture threads end here, then what they delivered is worked off, so nothing
    // runs for an object that is gone and the core goes on this thread.
    Core& core = *core_;
    const auto drain = [](SerialQueue& queue, std::function<void()> last) {
        std::promise<void> done;
        queue.async([&] {
            last();
            done.set_value();
        });
        done.get_future().wait();
    };
    drain(core.sessionQueue, [&core] { core.removeInputs(); });
    drain(core.videoQueue, [] {});
    drain(core.audioQueue, [] {});
}

void CameraSource::setSelectedCameraID(std::string id) {
    if (id == selectedCameraID_) return;
    selectedCameraID_ = std::move(id);
    emit selectedCameraIDChanged();
}

void CameraSource::setSelectedMicID(std::string id) {
    if (id == selectedMicID_) return;
    selectedMicID_ = std::move(id);
    emit selectedMicIDChanged();
}

void CameraSource::setOnVideo(VideoHandler handler) {
    core_->onVideo = std::move(handler);
}

void CameraSource::setOnAudio(AudioHandler handler) {
    core_->onAudio = std::move(handler);
}

Locked<bool>& CameraSource::micEnabled() {
    return core_->micEnabled;
}

const CaptureBackend& CameraSource::backend() const {
    return *core_->backend;
}

void CameraSource::refreshDevices() {
    const CaptureBackend& devices = *core_->backend;
    if (auto listed = devices.cameras(); listed != cameras_) {
        cameras_ = std::move(listed);
        emit camerasChanged();
    }
    setSelectedCameraID(repaired(selectedCameraID_, cameras_, devices.defaultCamera()));
    if (auto listed = devices.microphones(); listed != microphones_) {
        microphones_ = std::move(listed);
        emit microphonesChanged();
    }
    setSelectedMicID(repaired(selectedMicID_, microphones_, devices.defaultMicrophone()));
}

void CameraSource::devicesChanged() {
    refreshDevices();
    if (!wanted_ || isRunning_) return;
    const std::string back = wantedCameraID_.empty() ? selectedCameraID_ : wantedCameraID_;
    if (!listsDevice(cameras_, back)) return;
    setSelectedCameraID(back);
    start();
}

void CameraSource::start() {
    if (core_->backend->authorization(DeviceKind::camera) != Authorization::authorized) return;
    wanted_ = true;
    refreshDevices();
    setProblem(std::nullopt);
    core_->gotFrame.set(false);
    reconfigure();
    watchFrames(++watches_);
}

void CameraSource::reconfigure() {
    setMicProblem(std::nullopt);
    restartQuietClock();  // a camera opened again takes a moment for its first frame
    wantedCameraID_ = selectedCameraID_;
    const std::string cameraID = selectedCameraID_;
    const std::string micID = selectedMicID_;
    const std::uint64_t stopsThen = core_->stops;
    core_->sessionQueue.async([weak = std::weak_ptr(core_), cameraID, micID, stopsThen] {
        if (auto core = weak.lock()) core->configure(cameraID, micID, stopsThen);
    });
}

void CameraSource::setPaused(bool paused) {
    if (core_->paused.exchange(paused) == paused) return;
    core_->sessionQueue.async([weak = std::weak_ptr(core_)] {
        auto core = weak.lock();
        if (!core) return;
        if (core->camera) core->camera->setPaused(core->paused);
        if (core->mic) core->mic->setPaused(core->paused);
    });
    if (paused) setLevel(0);
    if (!paused) restartQuietClock();
}

bool CameraSource::isPaused() const {
    return core_->paused;
}

void CameraSource::stop() {
    wanted_ = false;
    ++core_->stops;
    ++watches_;
    core_->sessionQueue.async([weak = std::weak_ptr(core_)] {
        if (auto core = weak.lock()) core->halt();
    });
    setIsRunning(false);
    setLevel(0);
}

float CameraSource::levelFor(const std::vector<float>& channelPower) {
    const float loudest = channelPower.empty()
                              ? -100.0f
                              : *std::max_element(channelPower.begin(), channelPower.end());
    return std::clamp((loudest + 60.0f) / 60.0f, 0.0f, 1.0f);
}

void CameraSource::watchFrames(std::uint64_t watch) {
    mainQueue::asyncAfter(
        noFramesDelay_ / 4, weakly(this, [watch](CameraSource& s) {
            if (watch != s.watches_) return;  // stopped, or started again
            const double quiet = captureClock() - s.core_->lastFrame.get();
            if (s.isRunning_ && !s.core_->paused && !s.problem_ && quiet >= s.noFramesDelay_) {
                const bool stalled = s.core_->gotFrame.get();
                s.core_->gotFrame.set(false);
                s.setProblem(ErrorInfo::report(
                    text::title::noPicturesFromCamera,
                    stalled ? text::report::framesStopped : text::report::noFrames));
            }
            s.watchFrames(watch);
        }));
}

void CameraSource::restartQuietClock() {
    core_->lastFrame.set(captureClock());
}

void CameraSource::setIsRunning(bool running) {
    if (running == isRunning_) return;
    isRunning_ = running;
    emit isRunningChanged();
}

void CameraSource::setLevel(float level) {
    if (level == level_) return;
    level_ = level;
    emit levelChanged();
}

void CameraSource::setProblem(std::optional<ErrorInfo> problem) {
    if (problem == problem_) return;
    problem_ = std::move(problem);
    emit problemChanged();
}

void CameraSource::setMicProblem(std::optional<ErrorInfo> problem) {
    if (problem == micProblem_) return;
    micProblem_ = std::move(problem);
    emit micProblemChanged();
}

}  // namespace pelliqo
