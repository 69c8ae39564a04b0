#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>

#include "engine/EffectSettings.h"
#include "engine/Locked.h"
#include "errors/Result.h"
#include "platform/image/Image.h"
#include "platform/media/MediaTime.h"
#include "platform/media/MovieAsset.h"
#include "platform/media/MovieWriter.h"
#include "platform/system/SerialQueue.h"

namespace pelliqo {

// Turns one video file into one processed movie: every frame upright, segmented and
// composited, the first audio track re-encoded. Reports progress and a time-left text, and
// ends with exactly one completion (the output file, or an error; AppErr::cancelled() when
// cancelled). Callbacks always run on the main thread. One instance serves one export.
class VideoProcessor : public std::enable_shared_from_this<VideoProcessor> {
  public:
    using Progress = std::function<void(double fraction, const std::string& text)>;
    using Completion = std::function<void(const Result<std::filesystem::path>& result)>;

    static std::shared_ptr<VideoProcessor> make(std::filesystem::path input,
                                                std::filesystem::path output,
                                                EffectSettings settings);
    ~VideoProcessor();

    // Returns at once; the work runs on the processor's own queues.
    void start(Progress progress, Completion completion);

    // Set to true, from any thread, to cancel.
    Locked<bool> cancelFlag{false};
    // How long a cancel may take, in seconds. A run held in a read or write by a disk that
    // stopped answering, or by a pipe nobody reads any more, hears none: past this its
    // caller stops waiting for it.
    static constexpr double cancelBound = 5;
    // Waits at most that many seconds for a started run to end with its files settled (the
    // copy in place, or its hidden file gone), for a caller about to go; true if it ended.
    bool waitForEnd(double seconds) const;

    // Every write past this many bytes fails as on a full disk (for tests); before start.
    void limitOutput(std::uint64_t bytes) { byteLimit_ = bytes; }

    // The rules, as plain computations.
    struct Size {
        int width;
        int height;
    };
    // The written size: turned for 6 and 8, truncated, even, at least 2.
    static Size outputSize(double naturalWidth, double naturalHeight, int orientation);
    // Fraction done for a presentation time, kept in 0…1 (NaN counts as 0).
    static double fraction(double seconds, double durationSeconds);
    // "Estimating time left…" up to 2 %, then "About M:SS left".
    static std::string timeLeftText(double fraction, double elapsedSeconds);

    // A run in progress, and a frame on its way to the writer: BGRA (PixelBuffer) or 4:2:0
    // (Yuv420Frame).
    struct Run;
    template <class Frame>
    struct Finishing;

  private:
    VideoProcessor(std::filesystem::path input, std::filesystem::path output,
                   EffectSettings settings);
    // The run's steps, in order; each but the last fails with the error to deliver.
    void run(Progress progress);
    std::optional<PlatformError> openReaders(Run& run, const MovieAsset& asset) const;
    std::optional<PlatformError> openWriter(Run& run, const VideoTrack& track,
                                            const MovieMetadata& metadata) const;
    // The frames stay 4:2:0 from the decoder to the encoder where nothing needs them in BGRA.
    void chooseFrames(Run& run, const VideoTrack& track) const;
    std::optional<PlatformError> startWriting(Run& run) const;
    void startLoops(const std::shared_ptr<Run>& run);

    // Cancelled, failed, or the writer stopped: the loops end.
    bool mustEnd(Run& run);
    void videoLoop(Run& run);
    void audioLoop(Run& run);
    // One frame read, turned upright and segmented (and composed, at the fast qualities),
    // then handed to the finishing queue; false when the loop must end.
    template <class Frame>
    bool processFrame(Run& run);
    // The work handed to the finishing queue, in frame order, with at most a few frames
    // waiting; the progress reported for the frame's time.
    void handOff(Run& run, std::function<void()> work, double seconds);
    // The frame composed (unless it was) and appended to the writer, on the finishing queue.
    template <class Frame>
    static void finishFrame(Run& run, const Finishing<Frame>& work, const EffectSettings& settings);
    // After appending a frame: counted, or the writer's failure kept for the end.
    static void noteAppended(Run& run, bool appended);
    bool processAudio(Run& run);
    void report(Run& run, double seconds);
    void endLoop(Run& run, MovieWriter::Input input);
    void finish();
    void deliver(const Result<std::filesystem::path>& result);

    std::filesystem::path input_;
    std::filesystem::path output_;
    EffectSettings settings_;
    std::optional<std::uint64_t> byteLimit_;
    Completion completion_;
    std::shared_ptr<Run> run_;              // the run in progress, touched on queue_ only
    std::shared_ptr<VideoProcessor> self_;  // kept while a run is in progress
    std::promise<void> ended_;
    std::shared_future<void> whenEnded_ = ended_.get_future().share();
    std::unique_ptr<SerialQueue> queue_;
};

}  // namespace pelliqo
