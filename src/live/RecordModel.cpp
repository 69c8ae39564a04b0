#include "live/RecordModel.h"

#include <QPointer>
#include <cerrno>
#include <limits>
#include <thread>

#include "engine/BufferPool.h"
#include "engine/FrameEffect.h"
#include "engine/Locked.h"
#include "engine/MovieFormat.h"
#include "engine/OutputNaming.h"
#include "errors/AppErr.h"
#include "errors/Texts.h"
#include "live/LiveRecorder.h"
#include "platform/capture/VideoCapture.h"
#include "platform/image/Rendering.h"
#include "platform/system/FileReveal.h"
#include "platform/system/MainQueue.h"

namespace pelliqo {

namespace fs = std::filesystem;

// What the camera delivers: the frame size and the rate it was set to.
struct CameraFormat {
    int width = 0;
    int height = 0;
    double rate = 0;
};

// How many of the camera's frame intervals a frame may take before the next one's mask is
// carried rather than made.
constexpr double carryAfterIntervals = 1.5;

// What opening a recording's files came to: the files, or what to tell the user.
struct RecordModel::Opening {
    std::optional<LiveRecorder::Files> files;
    std::optional<ErrorInfo> error;
};
using Opening = RecordModel::Opening;

// Makes the folder, checks the room in it, and makes the files under the names `choose` finds
// free. Another program recording into the folder in the same second may take a name before
// its file is made: the recorder never writes over it, and the names are chosen again.
Opening openRecording(const fs::path& folder, const RecordModel::FreeSpace& freeSpace,
                      LiveRecorder::Config config, const std::function<RecordingPaths()>& choose) {
    // A fresh home has no Videos folder yet. One that can't be made is told by its own error
    // (a read-only disk), not by the files' missing folder.
    std::error_code unmade;
    fs::create_directories(folder, unmade);
    if (unmade) {
        return {std::nullopt, ErrorInfo::make(text::title::couldNotStartRecording,
                                              PlatformError::posix(unmade.value()), Failed::files)};
    }
    if (const auto free = freeSpace(folder); free && *free < RecordModel::spareBytes)
        return {std::nullopt,
                ErrorInfo::report(text::title::notEnoughDiskSpace, text::report::recordingNoRoom)};
    std::optional<PlatformError> error;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const RecordingPaths paths = choose();
        config.outputURL = paths.processed;
        config.originalURL = paths.original;
        auto files = LiveRecorder::open(config);
        if (files) return {std::move(files).value(), std::nullopt};
        error = files.error();
        if (error->domain != domain::posix || error->code != EEXIST) break;
    }
    return {std::nullopt,
            ErrorInfo::make(text::title::couldNotStartRecording, *error, Failed::files)};
}

// Everything the video queue touches. The main thread writes the live settings; the video
// queue reads them once a frame, and writes the frame size.
struct RecordModel::Pipeline {
    explicit Pipeline(Segmenter::EngineFactory engines)
        : effect(FrameEffect::Frames::live, std::move(engines)) {}

    Locked<LiveSettings> liveSettings{LiveSettings{}};
    Locked<CameraFormat> cameraFormat{CameraFormat{}};
    FrameEffect effect;
    BufferPool outPool;
    double lastPreview = -std::numeric_limits<double>::infinity();
    double fpsStart = captureClock();
    std::int64_t fpsCount = 0;
    bool carryNext = false;  // the next frame's mask is to be carried, not made
    LiveRecorder recorder;
    std::function<void(double)> onPublished;
    QPointer<RecordModel> owner;  // made on the main thread, tested only there

    void toMain(std::function<void(RecordModel&)> work) const {
        mainQueue::async([owner = owner, work = std::move(work)] {
            if (RecordModel* model = owner.data()) work(*model);
        });
    }

    void handleVideo(const CapturedFrame& frame);
    // Who takes this frame: the recording, the preview, other apps.
    struct Viewers {
        bool recording = false;
        bool previewDue = false;
        bool othersWatch = false;
    };
    // Whether the frame's mask was carried rather than made.
    bool process(const CapturedFrame& frame, const LiveSettings& settings, Viewers viewers,
                 double now);
    // Offers the camera to other apps at the frame's size and rate, when not yet offered so;
    // whether it is offered.
    bool offer(const std::shared_ptr<CameraOutput>& output, const CapturedFrame& frame);
    void publish(const std::shared_ptr<CameraOutput>& output, const PixelBuffer& picture,
                 double captured);
    void outputFailed(const std::shared_ptr<CameraOutput>& output, const PlatformError& error);
    // The output last started, and with what size, and the last that failed. Held weakly:
    // switched off, an output must go.
    std::weak_ptr<CameraOutput> startedOutput;
    std::weak_ptr<CameraOutput> failedOutput;
    int outputWidth = 0;
    int outputHeight = 0;
    void count(double now);
};

void RecordModel::Pipeline::handleVideo(const CapturedFrame& frame) {
    cameraFormat.set({frame.buffer.width(), frame.buffer.height(), frame.rateOrUsual()});
    const LiveSettings live = liveSettings.get();
    const bool recording = recorder.active();
    const double now = captureClock();
    const double sinceLast = now - lastPreview;
    const bool previewDue = sinceLast >= previewInterval && live.previewsWanted;
    // The camera is offered before anyone can take it, and taken before it is worth a frame.
    const bool othersWatch =
        live.cameraOutput && offer(live.cameraOutput, frame) && live.cameraOutput->hasReader();
    // Frames nobody sees (not recorded, previewed or taken by other apps) are not worth any work.
    if (!recording && !previewDue && !othersWatch) return;
    const bool carried = process(frame, live, {recording, previewDue, othersWatch}, now);
    count(now);
    // A frame that took half as long again as the camera's interval means the pace has fallen
    // below two thirds of the camera's (20 of 30): the next one skips the network, its mask
    // carried along the motion. A carried mask trails a moving person more than the network's
    // own, so a machine that nearly keeps up never carries; and never two in a row, so the
    // network still sees every other frame.
    carryNext = !carried && captureClock() - now > carryAfterIntervals / frame.rateOrUsual();
}

bool RecordModel::Pipeline::process(const CapturedFrame& frame, const LiveSettings& live,
                                    Viewers viewers, double now) {
    const auto [recording, previewDue, othersWatch] = viewers;
    EffectSettings settings = live.effect;
    // The subject engine is for files: it is a tenth of the camera's pace, and its check
    // box is on the process screen only (a preset may still carry it).
    settings.useSubjectMask = false;
    const bool mirrorRecording = live.mirrorRecording;
    const bool mirrorPreview = live.mirrorPreview;
    const std::shared_ptr<CameraOutput> output = othersWatch ? live.cameraOutput : nullptr;
    const int width = frame.buffer.width(), height = frame.buffer.height();
    // The picture as it leaves unmirrored (to other apps, and to the recording unless that
    // is mirrored), made straight in a buffer where the blend allows.
    auto unmirrored = output || (recording && !mirrorRecording) ? outPool.get(width, height)
                                                                : std::optional<PixelBuffer>();
    auto mask = carryNext ? effect.carriedMask(frame.buffer, settings) : std::nullopt;
    const bool carried = mask.has_value();
    if (!carried) mask = effect.neededMask(frame.buffer, settings);
    const auto composed = effect.composed(frame.buffer, mask, settings, unmirrored);
    if (!composed) return carried;
    if (unmirrored) renderInto(*composed, *unmirrored);
    if (output && unmirrored) publish(output, *unmirrored, frame.time);
    Image base = *composed;
    bool baseMirrored = false;
    if (recording) {
        // A frame the pool has no buffer for is left out of the recording.
        auto out = mirrorRecording ? outPool.get(width, height) : unmirrored;
        if (out) {
            if (mirrorRecording) renderInto(composed->mirrored(), *out);
            recorder.appendVideo(*out, frame);
            if (auto rendered = Image::fromBuffer(*out)) {
                base = *rendered;
                baseMirrored = mirrorRecording;
            }
        }
    }
    if (!previewDue) return carried;
    lastPreview = now;
    const Image shown = baseMirrored != mirrorPreview ? base.mirrored() : base;
    if (auto bitmap = effect.compositor().makeCGImage(shown, previewMaxWidth)) {
        toMain([bitmap = std::move(*bitmap), time = frame.time](RecordModel& model) {
            model.previewImage_ = bitmap;
            model.previewFrameTime_ = time;
            emit model.previewImageChanged();
        });
    }
    return carried;
}

bool RecordModel::Pipeline::offer(const std::shared_ptr<CameraOutput>& output,
                                  const CapturedFrame& frame) {
    // The same output, not just one at the same address: a weak pointer keeps its control
    // block, so a new output cannot share it.
    const auto same = [&output](const std::weak_ptr<CameraOutput>& other) {
        return !other.owner_before(output) && !output.owner_before(other);
    };
    if (same(failedOutput)) return false;  // said once; the main thread switches it off
    const int width = frame.buffer.width(), height = frame.buffer.height();
    if (same(startedOutput) && width == outputWidth && height == outputHeight) return true;
    // Applications are told the camera's rate when it appears; frames come as it delivers.
    const int rate = static_cast<int>(std::lround(frame.rateOrUsual()));
    const auto error = output->start(width, height, std::max(rate, 1));
    startedOutput = output;
    outputWidth = width;
    outputHeight = height;
    if (!error) return true;
    outputFailed(output, *error);
    return false;
}

void RecordModel::Pipeline::publish(const std::shared_ptr<CameraOutput>& output,
                                    const PixelBuffer& picture, double captured) {
    if (auto error = output->publish(picture)) return outputFailed(output, *error);
    if (onPublished) onPublished(captured);
}

void RecordModel::Pipeline::outputFailed(const std::shared_ptr<CameraOutput>& output,
                                         const PlatformError& error) {
    failedOutput = output;
    toMain([error, failed = failedOutput](RecordModel& model) {
        model.cameraOutputFailed(error, failed);
    });
}

void RecordModel::Pipeline::count(double now) {
    ++fpsCount;
    if (now - fpsStart < fpsWindow) return;
    const double fps = static_cast<double>(fpsCount) / (now - fpsStart);
    fpsCount = 0;
    fpsStart = now;
    toMain([fps](RecordModel& model) {
        model.fps_ = fps;
        emit model.fpsChanged();
    });
}

RecordModel::RecordModel(std::unique_ptr<CaptureBackend> backend, QObject* parent)
    : RecordModel(std::move(backend), {}, parent) {}

RecordModel::RecordModel(std::unique_ptr<CaptureBackend> backend, Segmenter::EngineFactory engines,
                         QObject* parent)
    : QObject(parent),
      reveal_([](const std::vector<fs::path>& files) { revealInFileManager(files); }),
      freeSpace_(OutputNaming::freeSpace),
      folder_([] { return OutputNaming::moviesFolder(); }),
      stamp_([] { return OutputNaming::stamp(); }),
      pipeline_(std::make_shared<Pipeline>(std::move(engines))),
      camera_(std::make_unique<CameraSource>(std::move(backend))) {
    pipeline_->owner = this;
    const std::weak_ptr<Pipeline> weak = pipeline_;
    camera_->setOnVideo([weak](const CapturedFrame& frame) {
        if (auto pipeline = weak.lock()) pipeline->handleVideo(frame);
    });
    camera_->setOnAudio([weak](const AudioSample& sample) {
        if (auto pipeline = weak.lock()) pipeline->recorder.appendAudio(sample);
    });
    pipeline_->recorder.onFailure = [owner = QPointer<RecordModel>(this)](
                                        const PlatformError& error,
                                        const std::vector<fs::path>& kept) {
        mainQueue::async([owner, error, kept] {
            if (RecordModel* model = owner.data()) model->recordingFailed(error, kept);
        });
    };
}

RecordModel::~RecordModel() {
    // No frame may reach the pipeline once the model is going.
    camera_.reset();
}

void RecordModel::setSettings(const EffectSettings& settings) {
    // A recording's file has its format from the start: frames with alpha cannot go into an
    // H.264 file, nor opaque ones into a movie made for transparency.
    live_.effect = isRecording_ ? keepingFormat(settings, live_.effect) : settings;
    pipeline_->liveSettings.set(live_);
    emit settingsChanged();
}

void RecordModel::setErrorInfo(std::optional<ErrorInfo> info) {
    if (info == errorInfo_) return;
    errorInfo_ = std::move(info);
    emit errorInfoChanged();
}

void RecordModel::setOnPublished(std::function<void(double)> tap) {
    pipeline_->onPublished = std::move(tap);
}

void RecordModel::setPreviewsWanted(bool wanted) {
    live_.previewsWanted = wanted;
    pipeline_->liveSettings.set(live_);
    watchReaders();
}

void RecordModel::watchReaders() {
    // Offered to other apps and shown nowhere else, the camera rests until one takes it: it
    // must have been offered (a first frame) for any to find it.
    const bool unwatched = live_.cameraOutput && !live_.previewsWanted && !isRecording_ &&
                           hasCameraFrames() && !live_.cameraOutput->hasReader();
    camera_->setPaused(unwatched);
}

void RecordModel::setCameraOutputPlace(CameraOutputPlace place) {
    setVirtualCamera(false);
    outputPlace_ = std::move(place);
}

const CameraOutputPlace& RecordModel::outputPlace() const {
    if (!outputPlace_) outputPlace_ = findCameraOutputPlace();
    return *outputPlace_;
}

void RecordModel::setVirtualCamera(bool on) {
    if (on == virtualCamera()) return;
    live_.cameraOutput = on ? makeCameraOutput(outputPlace()) : nullptr;
    pipeline_->liveSettings.set(live_);
    readerWatch_.reset();
    watchReaders();
    if (on && !live_.cameraOutput) return;
    readerWatch_ = std::make_unique<QTimer>();
    connect(readerWatch_.get(), &QTimer::timeout, this, [this] { watchReaders(); });
    readerWatch_->start(static_cast<int>(readerWatchInterval * 1000));
    emit virtualCameraChanged();
}

void RecordModel::cameraOutputFailed(const PlatformError& error,
                                     const std::weak_ptr<CameraOutput>& failed) {
    // An output switched off (or replaced) meanwhile has nothing left to report.
    const auto& current = live_.cameraOutput;
    if (!current || failed.owner_before(current) || current.owner_before(failed)) return;
    setVirtualCamera(false);
    setErrorInfo(ErrorInfo::make(text::title::cameraOutputStopped, error, Failed::cameraOutput));
}

bool RecordModel::hasCameraFrames() const {
    const CameraFormat format = pipeline_->cameraFormat.get();
    return format.width > 0 && format.height > 0;
}

void RecordModel::setMirrorPreview(bool mirror) {
    live_.mirrorPreview = mirror;
    pipeline_->liveSettings.set(live_);
    emit mirrorPreviewChanged();
}

void RecordModel::setMirrorRecording(bool mirror) {
    live_.mirrorRecording = mirror;
    pipeline_->liveSettings.set(live_);
    emit mirrorRecordingChanged();
}

void RecordModel::setKeepOriginal(bool keep) {
    keepOriginal_ = keep;
    emit keepOriginalChanged();
}

void RecordModel::setMicOn(bool on) {
    micOn_ = on;
    camera_->micEnabled().set(on);
    emit micOnChanged();
}

void RecordModel::startRecording() {
    if (isRecording_) return;
    const CameraFormat camera = pipeline_->cameraFormat.get();
    if (!hasCameraFrames())
        return setErrorInfo(
            ErrorInfo::report(text::title::cameraNotReady, text::report::cameraNotReady));
    const bool withAudio = micOn_ && camera_->backend().authorization(DeviceKind::microphone) ==
                                         Authorization::authorized;
    const LiveRecorder::Config config{.width = camera.width,
                                      .height = camera.height,
                                      .transparent = movieFormat(live_.effect.kind).hasAlpha,
                                      .withAudio = withAudio,
                                      .outputURL = {},
                                      .originalURL = {},
                                      .frameRate = camera.rate};
    const fs::path folder = folder_();
    const auto choose = [folder, stamp = stamp_(), kind = live_.effect.kind,
                         keepOriginal = keepOriginal_] {
        return recordingPaths(folder, stamp, kind, keepOriginal);
    };
    setErrorInfo(std::nullopt);
    setSavedURLs({});
    setRecording(true);
    watchReaders();
    setElapsed(0);
    timer_ = std::make_unique<QTimer>();
    connect(timer_.get(), &QTimer::timeout, this, [this] { setElapsed(recordedSeconds()); });
    timer_->start(static_cast<int>(clockInterval * 1000));
    // The files are made on a thread of their own: a disk that stopped answering (a lost
    // network share, a hung USB disk) holds that thread, not the window, and the start fails
    // after the bound. Files made after that, or after a stop, go with the late result.
    const std::uint64_t start = ++starts_;
    opening_ = true;
    stoppedWhileOpening_ = false;
    std::thread([owner = QPointer<RecordModel>(this), start, folder, freeSpace = freeSpace_, config,
                 choose] {
        auto result = std::make_shared<Opening>(openRecording(folder, freeSpace, config, choose));
        mainQueue::async([owner, start, result] {
            if (RecordModel* model = owner.data()) model->opened(start, std::move(*result));
        });
    }).detach();
    QTimer::singleShot(
        std::chrono::milliseconds(static_cast<int>(startBound * 1000)), this, [this, start] {
            opened(start,
                   {std::nullopt, ErrorInfo::make(text::title::couldNotStartRecording,
                                                  PlatformError::posix(ETIMEDOUT), Failed::files)});
        });
}

void RecordModel::opened(std::uint64_t start, Opening opening) {
    if (!opening_ || start != starts_) return;  // given up on, or started again, meanwhile
    opening_ = false;
    if (opening.error) {
        endClock();
        return setErrorInfo(*opening.error);
    }
    if (stoppedWhileOpening_) {  // nothing was recorded; the files go with `opening`
        return setErrorInfo(ErrorInfo::make(
            text::title::recordingNotSaved,
            PlatformError(AppErr::message(std::string(text::failure::noVideoFrames))),
            Failed::files));
    }
    pipeline_->recorder.start(std::move(*opening.files));
}

void RecordModel::stopRecording() {
    if (!isRecording_) return;
    endClock();
    // Stopped before its files are made: what the disk then says is told, why it was slow
    // or that nothing was recorded.
    if (opening_) {
        stoppedWhileOpening_ = true;
        return;
    }
    pipeline_->recorder.stop(
        [owner = QPointer<RecordModel>(this)](Result<std::vector<fs::path>> result) {
            mainQueue::async([owner, result = std::move(result)] {
                RecordModel* model = owner.data();
                if (model == nullptr) return;
                if (result)
                    model->setSavedURLs(result.value());
                else
                    model->setErrorInfo(ErrorInfo::make(text::title::recordingNotSaved,
                                                        result.error(), Failed::files));
            });
        });
}

double RecordModel::recordedSeconds() const {
    return pipeline_->recorder.recordedSeconds(captureClock());
}

void RecordModel::showInFinder() {
    if (!savedURLs_.empty() && reveal_) reveal_(savedURLs_);
}

void RecordModel::recordingFailed(const PlatformError& error, const std::vector<fs::path>& kept) {
    endClock();
    setErrorInfo(ErrorInfo::make(text::title::recordingStopped, error, Failed::files));
    // What was written before the failure plays; the user can find it.
    setSavedURLs(kept);
}

void RecordModel::endClock() {
    timer_.reset();
    setRecording(false);
}

void RecordModel::setRecording(bool recording) {
    if (recording == isRecording_) return;
    isRecording_ = recording;
    emit isRecordingChanged();
}

void RecordModel::setElapsed(double seconds) {
    elapsed_ = seconds;
    emit elapsedChanged();
}

void RecordModel::setSavedURLs(std::vector<fs::path> urls) {
    if (urls == savedURLs_) return;
    savedURLs_ = std::move(urls);
    emit savedURLsChanged();
}

}  // namespace pelliqo
