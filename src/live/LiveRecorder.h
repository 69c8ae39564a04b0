#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "errors/Result.h"
#include "platform/capture/CapturedFrame.h"
#include "platform/image/PixelBuffer.h"
#include "platform/media/AudioSample.h"
#include "platform/system/SerialQueue.h"

namespace pelliqo {

class RealtimeWriter;

// Writes a live recording: the processed picture (with the microphone, on request) to one
// movie file and, on request, the camera's own picture with the same sound to a second.
// Fed from the video and audio queues at once, started and stopped from the main thread;
// one lock keeps them apart. Files are written in fragments, so a crash loses at most the
// last second.
class LiveRecorder {
  public:
    struct Config {
        int width = 0;
        int height = 0;
        bool transparent = false;
        bool withAudio = false;
        std::filesystem::path outputURL;
        std::optional<std::filesystem::path> originalURL;
        double frameRate =
            CapturedFrame::usualRate;  // the camera's, for the encoder's rate control
    };
    using Completion = std::function<void(Result<std::vector<std::filesystem::path>>)>;
    // The error, and the files that hold what was recorded before it.
    using FailureHandler =
        std::function<void(const PlatformError&, const std::vector<std::filesystem::path>&)>;

    LiveRecorder();
    ~LiveRecorder();
    LiveRecorder(const LiveRecorder&) = delete;
    LiveRecorder& operator=(const LiveRecorder&) = delete;

    // The files of one recording, made and opened but not yet recorded into. Dropped
    // unused, they are closed and removed.
    struct Files {
        Files() = default;
        Files(Files&&) noexcept = default;
        Files& operator=(Files&&) = delete;
        ~Files();
        std::shared_ptr<RealtimeWriter> processed;
        std::shared_ptr<RealtimeWriter> original;
    };
    // Makes and opens the files, touching no recorder: it may run on any thread, and takes as
    // long as the disk does. Nothing is left when it fails.
    static Result<Files> open(const Config& config);
    // Records into them. Starting while active does nothing (the files are dropped).
    void start(Files files);
    void appendVideo(const PixelBuffer& processed, const CapturedFrame& original);
    void appendAudio(const AudioSample& sample);
    // Ends the recording; the completion runs on a background thread with the written
    // files (processed first) or the error. Finishing held up past `finishBound` by a disk
    // that stopped answering (a write that neither ends nor fails) completes with ETIMEDOUT.
    void stop(Completion completion);
    static constexpr double finishBound = 10;
    bool active() const;
    // How long the files run at `now` on the capture clock: from the first recorded frame,
    // which, on a busy machine, may come well after start().
    double recordedSeconds(double now) const;

    // Told, on a background thread, when writing fails mid-recording. Set once, before any
    // recording.
    FailureHandler onFailure;

  private:
    struct Ending;
    void failLocked(std::optional<PlatformError> error);

    mutable std::mutex lock_;
    std::shared_ptr<RealtimeWriter> writer_;
    std::shared_ptr<RealtimeWriter> origWriter_;
    bool sessionStarted_ = false;
    std::optional<double> startTime_;
    bool active_ = false;
    std::shared_ptr<Ending> lastEnding_;
    // Finishing and failure reports; left running, not joined, when a stuck write holds it.
    std::unique_ptr<SerialQueue> background_ = std::make_unique<SerialQueue>("pelliqo.recorder");
    SerialQueue watch_{"pelliqo.recorder.watch"};  // the bound on finishing
};

}  // namespace pelliqo
