#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/Locked.h"
#include "errors/ErrorInfo.h"
#include "platform/capture/CaptureBackend.h"
#include "platform/capture/CapturedFrame.h"
#include "platform/media/AudioSample.h"

namespace pelliqo {

// The live capture session: lists the cameras and microphones, keeps the user's choice of
// each, runs the chosen pair, and hands every frame and sound buffer to whoever registered.
// Publishes a microphone level, watches for a camera that sends nothing (from its start, or
// after a while, as one stalled by a USB glitch or the computer's sleep does), and reports
// camera failures as one problem for the record screen. Used on the main thread;
// every published change is announced by its signal.
class CameraSource : public QObject {
    Q_OBJECT

  public:
    using VideoHandler = std::function<void(const CapturedFrame&)>;
    using AudioHandler = std::function<void(const AudioSample&)>;

    static constexpr double noFramesDelay = 5.0;   // seconds without a frame
    static constexpr double levelInterval = 0.07;  // between published levels

    explicit CameraSource(std::unique_ptr<CaptureBackend> backend, QObject* parent = nullptr);
    ~CameraSource() override;

    const std::vector<DeviceInfo>& cameras() const { return cameras_; }
    const std::vector<DeviceInfo>& microphones() const { return microphones_; }
    const std::string& selectedCameraID() const { return selectedCameraID_; }
    void setSelectedCameraID(std::string id);
    const std::string& selectedMicID() const { return selectedMicID_; }
    void setSelectedMicID(std::string id);
    bool isRunning() const { return isRunning_; }
    float level() const { return level_; }
    const std::optional<ErrorInfo>& problem() const { return problem_; }
    // The user dismissed the problem shown.
    void clearProblem() { setProblem(std::nullopt); }
    // The microphone failed while running; the session goes on without sound. Cleared by the
    // next start or reconfigure, or when the user dismisses it.
    const std::optional<ErrorInfo>& micProblem() const { return micProblem_; }
    void clearMicProblem() { setMicProblem(std::nullopt); }

    // Set once, before the first start(). Video arrives on the video queue, sound on the
    // audio queue, each in capture order.
    void setOnVideo(VideoHandler handler);
    void setOnAudio(AudioHandler handler);
    // Whether sound is forwarded and metered; may be written from any thread.
    Locked<bool>& micEnabled();
    const CaptureBackend& backend() const;

    void refreshDevices();
    // The system's devices changed: the lists follow, and a camera that stopped or could not
    // start (unplugged, or held by another app) is chosen and started again once it is listed;
    // where there was none, the first camera to come.
    void devicesChanged();
    // While paused the devices stay open and running, and nothing is read: no frame, no
    // sound, no level, and next to no processor time. Frames taken after the pause come as
    // soon as it ends. Outlives stop and start.
    void setPaused(bool paused);
    bool isPaused() const;
    void start();
    void reconfigure();
    void stop();

    // The meter's position for the channels' average powers: the loudest channel from
    // −60 dB (0) to 0 dB (1); no channel at all reads as −100 dB.
    static float levelFor(const std::vector<float>& channelPower);

    // Shortens the no-frames watchdog, for tests that cannot wait five seconds.
    void setNoFramesDelay(double seconds) { noFramesDelay_ = seconds; }

    struct Core;

  signals:
    void camerasChanged();
    void microphonesChanged();
    void selectedCameraIDChanged();
    void selectedMicIDChanged();
    void isRunningChanged();
    void levelChanged();
    void problemChanged();
    void micProblemChanged();

  private:
    friend struct Core;
    void setIsRunning(bool running);
    void setLevel(float level);
    void setProblem(std::optional<ErrorInfo> problem);
    void setMicProblem(std::optional<ErrorInfo> problem);
    void watchFrames(std::uint64_t watch);
    // The camera's silence is counted from now.
    void restartQuietClock();

    std::vector<DeviceInfo> cameras_;
    std::vector<DeviceInfo> microphones_;
    std::string selectedCameraID_;
    std::string selectedMicID_;
    bool isRunning_ = false;
    float level_ = 0;
    std::optional<ErrorInfo> problem_;
    std::optional<ErrorInfo> micProblem_;
    double noFramesDelay_ = noFramesDelay;
    std::uint64_t watches_ = 0;   // each start begins a watch, which a stop or a new start ends
    bool wanted_ = false;         // started, and not stopped since
    std::string wantedCameraID_;  // the camera last opened
    std::shared_ptr<Core> core_;
    std::unique_ptr<DeviceWatcher> watcher_;
};

}  // namespace pelliqo
