#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/EffectSettings.h"
#include "engine/Segmenter.h"
#include "errors/ErrorInfo.h"
#include "live/CameraSource.h"
#include "platform/image/Bitmap.h"
#include "platform/output/CameraOutput.h"

namespace pelliqo {

// The model behind the live camera screen. Every camera frame is segmented and given its
// background; while recording it is also rendered and handed to the recorder; at most
// about 30 times a second it becomes the preview. On the main thread it starts and stops
// recordings, checks what they need, names their files and runs their clock. Every change
// is announced by its signal.
class RecordModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(double fps READ fps NOTIFY fpsChanged)
    Q_PROPERTY(bool isRecording READ isRecording NOTIFY isRecordingChanged)
    Q_PROPERTY(double elapsed READ elapsed NOTIFY elapsedChanged)
    Q_PROPERTY(
        bool mirrorPreview READ mirrorPreview WRITE setMirrorPreview NOTIFY mirrorPreviewChanged)
    Q_PROPERTY(bool mirrorRecording READ mirrorRecording WRITE setMirrorRecording NOTIFY
                   mirrorRecordingChanged)
    Q_PROPERTY(bool keepOriginal READ keepOriginal WRITE setKeepOriginal NOTIFY keepOriginalChanged)
    Q_PROPERTY(bool micOn READ micOn WRITE setMicOn NOTIFY micOnChanged)
    Q_PROPERTY(
        bool virtualCamera READ virtualCamera WRITE setVirtualCamera NOTIFY virtualCameraChanged)

  public:
    using Reveal = std::function<void(const std::vector<std::filesystem::path>&)>;
    using FreeSpace = std::function<std::optional<std::int64_t>(const std::filesystem::path&)>;
    using Folder = std::function<std::filesystem::path()>;
    using Stamp = std::function<std::string()>;

    static constexpr double previewInterval = 0.033;  // seconds between previews
    static constexpr int previewMaxWidth = 960;
    static constexpr double fpsWindow = 1.0;      // seconds, at least
    static constexpr double clockInterval = 0.5;  // seconds
    static constexpr std::int64_t spareBytes = 500'000'000;
    // How long starting a recording waits on the disk before it fails.
    static constexpr double startBound = 10;
    static constexpr double readerWatchInterval = 0.05;  // seconds between looks for readers

    // The camera, microphones and permissions come from the backend; segmentation from the
    // installed models unless an engine factory is given.
    explicit RecordModel(std::unique_ptr<CaptureBackend> backend, QObject* parent = nullptr);
    RecordModel(std::unique_ptr<CaptureBackend> backend, Segmenter::EngineFactory engines,
                QObject* parent = nullptr);
    ~RecordModel() override;

    CameraSource& camera() { return *camera_; }

    const EffectSettings& settings() const { return live_.effect; }
    void setSettings(const EffectSettings& settings);
    const std::optional<Bitmap>& previewImage() const { return previewImage_; }
    // When the frame behind the preview was captured, on the capture clock.
    double previewFrameTime() const { return previewFrameTime_; }
    double fps() const { return fps_; }
    bool isRecording() const { return isRecording_; }
    // Whether the recording's files are still being made; it records once they are.
    bool isStarting() const { return opening_; }
    double elapsed() const { return elapsed_; }
    // The recording's length so far, as its files will have it; 0 until its first frame.
    double recordedSeconds() const;
    const std::vector<std::filesystem::path>& savedURLs() const { return savedURLs_; }
    const std::optional<ErrorInfo>& errorInfo() const { return errorInfo_; }
    void setErrorInfo(std::optional<ErrorInfo> info);
    bool mirrorPreview() const { return live_.mirrorPreview; }
    void setMirrorPreview(bool mirror);
    bool mirrorRecording() const { return live_.mirrorRecording; }
    void setMirrorRecording(bool mirror);
    bool keepOriginal() const { return keepOriginal_; }
    void setKeepOriginal(bool keep);
    bool micOn() const { return micOn_; }
    void setMicOn(bool on);
    // Whether each processed frame (as recorded, never mirrored) is also a camera other
    // applications can pick. Switching on where no output exists does nothing; a failure
    // switches it off and reports "Camera output stopped".
    bool virtualCamera() const { return live_.cameraOutput != nullptr; }
    void setVirtualCamera(bool on);
    // Why the camera for other applications cannot be had here, in one line; empty when it
    // can.
    const std::string& virtualCameraUnavailable() const { return outputPlace().reason; }
    // Where that camera goes; found on this machine unless set (tests, the command line).
    void setCameraOutputPlace(CameraOutputPlace place);
    // Whether frames become preview bitmaps (on by default); a recording nobody watches
    // skips them, and processes no frame outside the recording. Without previews and outside
    // a recording, the camera for other apps pauses the camera while no application takes
    // it (where the place can tell).
    void setPreviewsWanted(bool wanted);
    // Whether the camera has delivered a frame since the model was made.
    bool hasCameraFrames() const;

    void startRecording();
    void stopRecording();
    void showInFinder();

    // Platform facilities, replaceable for tests and the command line.
    void setReveal(Reveal reveal) { reveal_ = std::move(reveal); }
    void setFreeSpace(FreeSpace freeSpace) { freeSpace_ = std::move(freeSpace); }
    void setFolder(Folder folder) { folder_ = std::move(folder); }
    void setStamp(Stamp stamp) { stamp_ = std::move(stamp); }
    // Told on the video queue, with its capture time, of each frame handed to other apps; for
    // measuring. Set before the camera starts.
    void setOnPublished(std::function<void(double captured)> tap);

    // What the video queue reads for every frame. The model keeps it and hands the queue a
    // copy of the whole after every change, so a frame never sees half of one.
    struct LiveSettings {
        EffectSettings effect;
        bool mirrorPreview = true;
        bool mirrorRecording = false;
        bool previewsWanted = true;
        std::shared_ptr<CameraOutput> cameraOutput;  // while other apps are offered it
    };
    struct Pipeline;
    struct Opening;  // what making a recording's files came to

  signals:
    void settingsChanged();
    void previewImageChanged();
    void fpsChanged();
    void isRecordingChanged();
    void elapsedChanged();
    void savedURLsChanged();
    void errorInfoChanged();
    void mirrorPreviewChanged();
    void mirrorRecordingChanged();
    void keepOriginalChanged();
    void micOnChanged();
    void virtualCameraChanged();

  private:
    friend struct Pipeline;
    // Begins the recording started as `start` with the files opened for it, unless it was
    // stopped or given up on meanwhile, or says why it could not start.
    void opened(std::uint64_t start, Opening opening);
    void recordingFailed(const PlatformError& error,
                         const std::vector<std::filesystem::path>& kept);
    void cameraOutputFailed(const PlatformError& error, const std::weak_ptr<CameraOutput>& failed);
    void endClock();
    void watchReaders();
    void setRecording(bool recording);
    void setElapsed(double seconds);
    void setSavedURLs(std::vector<std::filesystem::path> urls);

    Reveal reveal_;
    FreeSpace freeSpace_;
    Folder folder_;
    Stamp stamp_;

    LiveSettings live_;
    std::optional<Bitmap> previewImage_;
    double previewFrameTime_ = 0;
    double fps_ = 0;
    bool isRecording_ = false;
    bool opening_ = false;  // the recording's files are being made
    bool stoppedWhileOpening_ = false;
    std::uint64_t starts_ = 0;  // recordings started, to tell a late opening from the latest
    double elapsed_ = 0;
    std::vector<std::filesystem::path> savedURLs_;
    std::optional<ErrorInfo> errorInfo_;
    bool keepOriginal_ = true;
    bool micOn_ = true;
    // Where the camera for other apps goes, looked for when first asked (probing the devices
    // and PipeWire is wasted on the many models that never offer it).
    const CameraOutputPlace& outputPlace() const;
    mutable std::optional<CameraOutputPlace> outputPlace_;

    std::unique_ptr<QTimer> timer_;
    std::unique_ptr<QTimer> readerWatch_;

    // The frame work and its state; the camera is declared after it so that it stops
    // delivering frames before the pipeline goes.
    std::shared_ptr<Pipeline> pipeline_;
    std::unique_ptr<CameraSource> camera_;
};

}  // namespace pelliqo
