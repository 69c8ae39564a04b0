#include "live/LiveRecorder.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <mutex>

#include "engine/MovieFormat.h"
#include "errors/AppErr.h"
#include "errors/Texts.h"
#include "live/RealtimeWriter.h"
#include "platform/media/FragmentedMovie.h"
#include "platform/media/MovieAsset.h"
#include "platform/media/TrackReader.h"

namespace pelliqo {

namespace fs = std::filesystem;

namespace {

// Times in the files: fine enough for any camera's jitter.
constexpr std::int32_t videoTimescale = 90000;
// Live recording must keep pace with the camera on a laptop, next to segmentation.
constexpr const char* liveH264Preset = "superfast";

const AudioEncoding liveAudio{1, 44100, 96000};

// Frames are written at their capture times; the rate guides the encoder's rate control.
VideoEncoding liveEncoding(VideoEncoding::Codec codec, int width, int height, double rate) {
    return {
        codec, width,          height,       videoBitRate(width, height), {0, 1, videoTimescale},
        rate,  liveH264Preset, "zerolatency"};
}

struct Opened {
    std::shared_ptr<RealtimeWriter> writer;
    std::optional<PlatformError> error;
};

// Creates a writer with its video input; audio is added when asked for and accepted.
// Nothing is written to disk yet.
Opened openWriter(const fs::path& path, MovieFileType type, const VideoEncoding& video,
                  bool withAudio, std::string_view refusal) {
    auto created = MovieWriter::create(path, type, MovieLayout::fragmented);
    if (!created) return {nullptr, created.error()};
    auto writer = std::make_shared<RealtimeWriter>(std::move(created).value(), path);
    if (!writer->writer().addVideoInput(video)) {
        if (refusal.empty()) return {};
        return {nullptr, PlatformError(AppErr::message(std::string(refusal)))};
    }
    writer->setHasAudio(withAudio && writer->writer().addAudioInput(liveAudio));
    return {writer, std::nullopt};
}

PlatformError errorOr(const RealtimeWriter& writer, std::string_view fallback) {
    if (auto e = writer.error()) return *e;
    return AppErr::message(std::string(fallback));
}

// Whether a file written up to a failure is known to show nothing: it is empty, or it opens
// and its video track decodes but not one picture comes out (its header alone, or a fragment
// cut off in the middle, which may still declare a duration). A file that cannot be looked
// at is not judged.
bool showsNothing(const fs::path& path) {
    std::error_code e;
    if (fs::file_size(path, e) == 0 && !e) return true;
    const MovieAsset asset = MovieAsset::open(path);
    if (!asset.isReadable || !asset.video) return false;
    auto reader = TrackReader::video(path, *asset.video);
    return reader && !reader.value()->nextVideo();
}

// The files that hold something after a failure, each cut back to where it opens (a write
// cut off inside a fragment's index would leave no reader able to open it). One
// known to show nothing goes, so that nothing is reported kept that would not play; any
// other stays.
std::vector<fs::path> keptFiles(const std::vector<fs::path>& paths) {
    std::vector<fs::path> kept;
    for (const fs::path& p : paths) {
        std::error_code e;
        if (!fs::exists(p, e)) continue;
        trimToWholeFragments(p);  // a file it cannot trim is judged as it stands
        if (showsNothing(p)) {
            fs::remove(p, e);
        } else {
            kept.push_back(p);
        }
    }
    return kept;
}

// Queues held for ever by a write that never ends. Never destroyed, as that would join them;
// reachable, so that they are not taken for leaks.
void leaveRunning(std::unique_ptr<SerialQueue> queue) {
    static std::mutex lock;
    static auto* const left = new std::vector<std::unique_ptr<SerialQueue>>;
    std::lock_guard guard(lock);
    left->push_back(std::move(queue));
}

}  // namespace

// One stop's completion, told once: by the finishing, or by the bound when that is stuck.
struct LiveRecorder::Ending {
    explicit Ending(Completion whenDone) : completion(std::move(whenDone)) {}
    void tell(Result<std::vector<fs::path>> result) {
        if (!told.exchange(true)) completion(std::move(result));
    }
    void timeOut() {
        if (told.exchange(true)) return;
        stuck = true;
        completion(PlatformError::posix(ETIMEDOUT));
    }
    Completion completion;
    std::atomic<bool> told{false};
    std::atomic<bool> stuck{false};
};

LiveRecorder::LiveRecorder() = default;

LiveRecorder::~LiveRecorder() {
    // Files still being finished are waited for, within the bound; a stuck one is not.
    if (lastEnding_ && lastEnding_->stuck) {
        leaveRunning(std::move(background_));
        return;
    }
    auto drained = std::make_shared<std::promise<void>>();
    background_->async([drained] { drained->set_value(); });
    const auto bound = std::chrono::duration<double>(finishBound);
    if (drained->get_future().wait_for(bound) == std::future_status::timeout)
        leaveRunning(std::move(background_));
}

LiveRecorder::Files::~Files() {
    for (const auto& writer : {processed, original}) {
        if (!writer) continue;
        writer->cancel();
        writer->removeFile();
    }
}

Result<LiveRecorder::Files> LiveRecorder::open(const Config& config) {
    const int w = evenSide(config.width);
    const int h = evenSide(config.height);
    const MovieFormat format = movieFormat(config.transparent);
    const MovieFormat plain = movieFormat(false);
    const auto refusal =
        format.hasAlpha ? text::failure::liveAlphaUnsupported : text::failure::liveH264Unsupported;
    Opened processed =
        openWriter(config.outputURL, format.fileType,
                   liveEncoding(format.codec, w, h, config.frameRate), config.withAudio, refusal);
    if (!processed.writer) return *processed.error;
    Opened original;
    if (config.originalURL) {
        // An original take whose video the encoder refuses is left out; the recording goes on.
        original =
            openWriter(*config.originalURL, plain.fileType,
                       liveEncoding(plain.codec, w, h, config.frameRate), config.withAudio, {});
        if (original.error) return *original.error;
    }
    Files files;  // from here on, what a failure leaves is removed
    files.processed = processed.writer;
    if (!processed.writer->writer().startWriting())
        return errorOr(*processed.writer, text::failure::recordingFileNotCreated);
    files.original = original.writer;
    if (original.writer && !original.writer->writer().startWriting())
        return errorOr(*original.writer, text::failure::originalFileNotCreated);
    return files;
}

void LiveRecorder::start(Files files) {
    std::lock_guard guard(lock_);
    if (active_) return;
    // A recording stuck in its finishing would hold this one's behind it.
    if (lastEnding_ && lastEnding_->stuck) {
        leaveRunning(std::move(background_));
        background_ = std::make_unique<SerialQueue>("pelliqo.recorder");
        lastEnding_.reset();
    }
    writer_ = std::move(files.processed);
    origWriter_ = std::move(files.original);
    sessionStarted_ = false;
    startTime_.reset();
    active_ = true;
}

void LiveRecorder::appendVideo(const PixelBuffer& processed, const CapturedFrame& original) {
    std::lock_guard guard(lock_);
    if (!active_ || !writer_) return;
    if (!sessionStarted_) {
        // Both files begin at the first recorded frame.
        startTime_ = original.time;
        sessionStarted_ = true;
    }
    if (writer_->status() == MovieWriter::Status::failed) return failLocked(writer_->error());
    if (origWriter_ && origWriter_->status() == MovieWriter::Status::failed)
        return failLocked(origWriter_->error());
    const MediaTime at = MediaTime::fromSeconds(original.time - *startTime_, videoTimescale);
    // A frame that finds an input busy is left out of that file, never queued.
    if (writer_->isReady(MovieWriter::Input::video)) writer_->appendVideo(processed, at);
    if (origWriter_ && origWriter_->isReady(MovieWriter::Input::video))
        origWriter_->appendVideo(original.buffer, at);
}

void LiveRecorder::appendAudio(const AudioSample& sample) {
    std::lock_guard guard(lock_);
    if (!active_ || !sessionStarted_ || !startTime_) return;
    const double t = sample.time.seconds();
    if (t < *startTime_) return;  // sound from before the first frame is not written
    const AudioSample shifted{sample.samples,
                              MediaTime::fromSeconds(t - *startTime_, AudioSample::rate)};
    for (const auto& w : {writer_, origWriter_}) {
        if (w && w->hasAudio() && w->isReady(MovieWriter::Input::audio)) w->appendAudio(shifted);
    }
}

void LiveRecorder::stop(Completion completion) {
    std::unique_lock guard(lock_);
    if (!active_) {
        guard.unlock();
        completion(PlatformError(AppErr::message(std::string(text::failure::nothingRecorded))));
        return;
    }
    active_ = false;
    const bool started = sessionStarted_;
    auto writers = std::vector{std::move(writer_)};
    if (origWriter_) writers.push_back(std::move(origWriter_));
    guard.unlock();
    auto ending = std::make_shared<Ending>(std::move(completion));
    lastEnding_ = ending;
    watch_.asyncAfter(finishBound, [ending] { ending->timeOut(); });
    // Finishing encodes what still waits and closes the files: slow, so not under the lock.
    background_->async([writers, started, ending] {
        if (!started) {
            for (const auto& w : writers) {
                w->cancel();
                w->removeFile();
            }
            ending->tell(PlatformError(AppErr::message(std::string(text::failure::noVideoFrames))));
            return;
        }
        std::vector<bool> finished;
        for (const auto& w : writers) finished.push_back(w->finish());
        std::vector<fs::path> paths;
        for (std::size_t i = 0; i < writers.size(); ++i) {
            if (!finished[i]) {
                // A file cut off while it was finished stays readable.
                for (const auto& w : writers) trimToWholeFragments(w->path());
                return ending->tell(errorOr(*writers[i], text::failure::recordingNotFinished));
            }
            paths.push_back(writers[i]->path());
        }
        ending->tell(std::move(paths));
    });
}

bool LiveRecorder::active() const {
    std::lock_guard guard(lock_);
    return active_;
}

double LiveRecorder::recordedSeconds(double now) const {
    std::lock_guard guard(lock_);
    if (!active_ || !startTime_) return 0;
    return std::max(0.0, now - *startTime_);
}

void LiveRecorder::failLocked(std::optional<PlatformError> error) {
    if (!active_) return;  // only the first failure is reported
    active_ = false;
    PlatformError reported =
        error ? *error
              : PlatformError(AppErr::message(std::string(text::failure::writingVideoFailed)));
    auto writers = std::vector{std::move(writer_)};
    if (origWriter_) writers.push_back(std::move(origWriter_));
    // Not the recorder itself: a stuck write may outlast it.
    background_->async([handler = onFailure, writers, reported] {
        std::vector<fs::path> paths;
        for (const auto& w : writers) {
            w->cancel();
            paths.push_back(w->path());
        }
        // What was written before the failure stays: it plays up to its last fragment.
        if (handler) handler(reported, keptFiles(paths));
    });
}

}  // namespace pelliqo
