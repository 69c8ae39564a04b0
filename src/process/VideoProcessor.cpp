#include "process/VideoProcessor.h"

#include <atomic>
#include <semaphore>

#include "engine/BufferPool.h"
#include "engine/FrameEffect.h"
#include "engine/MovieFormat.h"
#include "engine/OutputNaming.h"
#include "errors/AppErr.h"
#include "errors/Texts.h"
#include "platform/image/PixelBufferPool.h"
#include "platform/image/Rendering.h"
#include "platform/media/MovieAsset.h"
#include "platform/media/MovieWriter.h"
#include "platform/media/TrackReader.h"
#include "platform/system/MainQueue.h"
#include "process/StagedFile.h"

namespace pelliqo {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Input = MovieWriter::Input;

namespace {

constexpr double reportInterval = 0.25;
// Segmented frames waiting to be composed and encoded: enough to keep that queue busy while
// the next frame is segmented, few enough to keep memory small.
constexpr std::ptrdiff_t framesInFlight = 3;
constexpr double shortestDuration = 0.001;

PlatformError message(std::string_view sentence) {
    return AppErr::message(std::string(sentence));
}

}  // namespace

struct VideoProcessor::Run {
    Progress progress;
    int orientation = 1;
    Size size{2, 2};
    double duration = shortestDuration;
    bool durationKnown = false;  // if not, progress is counted by the bytes read
    std::unique_ptr<TrackReader> videoReader;
    std::unique_ptr<TrackReader> audioReader;
    // Where the movie is written until it is finished; removed with the run unless it was
    // moved over the output. Before the writer, so that the writer has closed it by then.
    std::optional<StagedFile> staged;
    std::unique_ptr<MovieWriter> writer;
    FrameEffect effect{FrameEffect::Frames::video};
    BufferPool uprightPool;
    BufferPool outputPool;
    // Set when frames go from the decoder to the encoder as 4:2:0, with their own pool.
    std::shared_ptr<PixelBufferPool> yuvPool;
    Locked<std::optional<PlatformError>> sharedError{std::nullopt};
    Locked<std::optional<Clock::time_point>> lastReport{std::nullopt};  // empty: never reported
    Clock::time_point startedAt;
    std::atomic<int> loops{0};
    std::counting_semaphore<framesInFlight> finishSlots{framesInFlight};
    std::atomic<std::int64_t> framesWritten{0};
    bool videoEnded = false;
    bool audioEnded = false;
    // Last, so they are joined before the writer goes: a loop's final pass may still be
    // returning through the writer when the run ends. Segmented frames are composed and
    // encoded on their own queue, in order, while the video loop segments the next ones.
    std::unique_ptr<SerialQueue> finishQueue;
    std::unique_ptr<SerialQueue> videoQueue;
    std::unique_ptr<SerialQueue> audioQueue;
};

template <class Frame>
struct VideoProcessor::Finishing {
    // The finished picture: an image to render into the BGRA output, or the 4:2:0 output
    // itself.
    using Picture = std::conditional_t<std::is_same_v<Frame, Yuv420Frame>, Yuv420Frame, Image>;
    Frame frame;   // upright, at the output's size
    Frame output;  // where the finished picture goes
    MediaTime time;
    std::optional<Image> mask;
    std::optional<Picture> picture;  // when it was composed already
};

namespace {

using Run = VideoProcessor::Run;

// Whether frames of this orientation must be turned to stand upright.
bool turns(int orientation) {
    return orientation == 3 || orientation == 6 || orientation == 8;
}

template <class Frame>
auto nextSample(TrackReader& reader) {
    if constexpr (std::is_same_v<Frame, Yuv420Frame>) {
        return reader.nextYuvVideo();
    } else {
        return reader.nextVideo();
    }
}

// The frame turned upright at the output's size.
std::optional<PixelBuffer> uprightFrame(Run& r, const PixelBuffer& decoded) {
    // Most frames need no turn and already have even sides: they go as decoded, which saves
    // a copy of every pixel.
    if (!turns(r.orientation) && decoded.width() == r.size.width &&
        decoded.height() == r.size.height) {
        return decoded;
    }
    auto upright = r.uprightPool.get(r.size.width, r.size.height);
    const auto frame = Image::fromBuffer(decoded);
    if (!upright || !frame) return std::nullopt;
    renderInto(frame->oriented(r.orientation), *upright);
    return *upright;
}

// A read frame with the buffer its picture goes to; nothing when a buffer cannot be had.
std::optional<VideoProcessor::Finishing<PixelBuffer>> startFinishing(Run& r,
                                                                     const VideoSample& sample) {
    auto upright = uprightFrame(r, sample.frame);
    auto output = r.outputPool.get(r.size.width, r.size.height);
    if (!upright || !output) return std::nullopt;
    return VideoProcessor::Finishing<PixelBuffer>{*upright, *output, sample.time, std::nullopt,
                                                  std::nullopt};
}

std::optional<VideoProcessor::Finishing<Yuv420Frame>> startFinishing(Run& r,
                                                                     const YuvVideoSample& sample) {
    const auto buffer = r.yuvPool->makeBuffer();
    const auto output = buffer ? Yuv420Frame::over(*buffer) : std::nullopt;
    if (!output) return std::nullopt;
    return VideoProcessor::Finishing<Yuv420Frame>{sample.frame, *output, sample.time, std::nullopt,
                                                  std::nullopt};
}

bool appendPicture(Run& r, const Image& picture,
                   const VideoProcessor::Finishing<PixelBuffer>& work) {
    PixelBuffer finished = work.output;
    renderInto(picture, finished);
    return r.writer->appendVideo(finished, work.time);
}

bool appendPicture(Run& r, const Yuv420Frame& picture,
                   const VideoProcessor::Finishing<Yuv420Frame>& work) {
    return r.writer->appendVideo(picture, work.time);
}

}  // namespace

VideoProcessor::Size VideoProcessor::outputSize(double naturalWidth, double naturalHeight,
                                                int orientation) {
    const bool turned = orientation == 6 || orientation == 8;
    return turned ? Size{evenSide(naturalHeight), evenSide(naturalWidth)}
                  : Size{evenSide(naturalWidth), evenSide(naturalHeight)};
}

double VideoProcessor::fraction(double seconds, double durationSeconds) {
    const double f = seconds / durationSeconds;
    if (!(f > 0)) return 0;
    return std::min(f, 1.0);
}

std::string VideoProcessor::timeLeftText(double fraction, double elapsedSeconds) {
    if (fraction <= 0.02) return std::string(text::status::estimating);
    return "About " + formatTime(elapsedSeconds / fraction * (1 - fraction)) + " left";
}

std::shared_ptr<VideoProcessor> VideoProcessor::make(fs::path input, fs::path output,
                                                     EffectSettings settings) {
    return std::shared_ptr<VideoProcessor>(
        new VideoProcessor(std::move(input), std::move(output), std::move(settings)));
}

VideoProcessor::VideoProcessor(fs::path input, fs::path output, EffectSettings settings)
    : input_(std::move(input)),
      output_(std::move(output)),
      settings_(std::move(settings)),
      queue_(std::make_unique<SerialQueue>("pelliqo.process")) {}

VideoProcessor::~VideoProcessor() = default;

void VideoProcessor::start(Progress progress, Completion completion) {
    self_ = shared_from_this();
    completion_ = std::move(completion);
    queue_->async([this, progress = std::move(progress)]() mutable { run(std::move(progress)); });
}

void VideoProcessor::deliver(const Result<fs::path>& result) {
    mainQueue::async([completion = completion_, result] { completion(result); });
    // The run is over, its files settled once the task that delivered has let them go: let the
    // processor go once nobody else holds it.
    queue_->async([this] {
        ended_.set_value();
        self_.reset();
    });
}

bool VideoProcessor::waitForEnd(double seconds) const {
    return whenEnded_.wait_for(std::chrono::duration<double>(seconds)) == std::future_status::ready;
}

void VideoProcessor::run(Progress progress) {
    const MovieAsset asset = MovieAsset::open(input_);
    auto r = std::make_shared<Run>();
    r->progress = std::move(progress);
    if (auto e = openReaders(*r, asset)) return deliver(*e);
    if (auto e = openWriter(*r, *asset.video, asset.metadata)) return deliver(*e);
    chooseFrames(*r, *asset.video);
    if (auto e = startWriting(*r)) return deliver(*e);
    startLoops(r);
}

std::optional<PlatformError> VideoProcessor::openReaders(Run& r, const MovieAsset& asset) const {
    // A readable file with a video track.
    if (!asset.isReadable || !asset.video) return message(text::failure::notAVideo);
    r.duration = asset.duration > shortestDuration ? asset.duration : shortestDuration;
    r.durationKnown = asset.duration > 0;
    // Upright and even.
    r.orientation = exifOrientation(asset.video->preferredTransform);
    r.size = outputSize(asset.video->naturalWidth, asset.video->naturalHeight, r.orientation);
    auto videoReader = TrackReader::video(input_, *asset.video);
    if (!videoReader) return message(text::failure::videoTrackUndecodable);
    r.videoReader = std::move(videoReader).value();
    // Sound, when it can be had; without it the movie is silent.
    if (asset.audio) {
        if (auto audioReader = TrackReader::audio(input_, *asset.audio))
            r.audioReader = std::move(audioReader).value();
    }
    return std::nullopt;
}

std::optional<PlatformError> VideoProcessor::openWriter(Run& r, const VideoTrack& track,
                                                        const MovieMetadata& metadata) const {
    const MovieFormat format = movieFormat(settings_.kind);
    // The movie goes to a file of its own beside the output, which it replaces once finished:
    // whatever is at the output stays until then.
    auto staged = StagedFile::create(output_);
    if (!staged) return staged.error();
    r.staged = std::move(staged).value();
    // A pipe or a device takes the movie from start to end, with no going back to finish
    // its header: written in fragments, as live recordings are.
    auto writer =
        MovieWriter::create(r.staged->path(), format.fileType,
                            r.staged->inPlace() ? MovieLayout::fragmented : MovieLayout::whole);
    if (!writer) return writer.error();
    r.writer = std::move(writer).value();
    if (byteLimit_) r.writer->limitOutput(*byteLimit_);
    VideoEncoding video{format.codec,   r.size.width,
                        r.size.height,  videoBitRate(r.size.width, r.size.height),
                        track.timebase, track.nominalFrameRate};
    // A copy keeps what its original says of itself: when and where it was made, its timecode.
    video.timecode = track.timecode;
    r.writer->setMetadata(metadata);
    if (!r.writer->addVideoInput(video)) {
        return message(format.hasAlpha ? text::failure::alphaUnsupported
                                       : text::failure::h264SizeUnsupported);
    }
    if (r.audioReader && !r.writer->addAudioInput(AudioEncoding{})) r.audioReader.reset();
    return std::nullopt;
}

void VideoProcessor::chooseFrames(Run& r, const VideoTrack& track) const {
    // An upright H.264 copy of a movie already in its colours never needs them converted.
    if (movieFormat(settings_.kind).codec == VideoEncoding::Codec::h264 && !turns(r.orientation) &&
        FrameEffect::canComposeYuv(settings_) && r.videoReader->decodesToMovieYuv() &&
        track.naturalWidth == r.size.width && track.naturalHeight == r.size.height) {
        r.yuvPool = PixelBufferPool::create(r.size.width, Yuv420Frame::storageHeight(r.size.height),
                                            PixelFormat::gray8);
    }
}

std::optional<PlatformError> VideoProcessor::startWriting(Run& r) const {
    if (r.writer->startWriting()) return std::nullopt;
    return r.writer->error().value_or(message(text::failure::outputNotCreated));
}

void VideoProcessor::startLoops(const std::shared_ptr<Run>& r) {
    // The two loops, each on its own queue, pulling as fast as the writer takes.
    r->startedAt = Clock::now();
    run_ = r;
    r->loops = r->audioReader ? 2 : 1;
    r->finishQueue = std::make_unique<SerialQueue>("pelliqo.process.finish");
    r->videoQueue = std::make_unique<SerialQueue>("pelliqo.process.video");
    r->writer->requestMediaDataWhenReady(Input::video, *r->videoQueue,
                                         [this, run = r.get()] { videoLoop(*run); });
    if (r->audioReader) {
        r->audioQueue = std::make_unique<SerialQueue>("pelliqo.process.audio");
        r->writer->requestMediaDataWhenReady(Input::audio, *r->audioQueue,
                                             [this, run = r.get()] { audioLoop(*run); });
    }
}

bool VideoProcessor::mustEnd(Run& r) {
    // A writer that stopped takes no more; the loop that notices ends, and finishing
    // reports the writer's failure.
    return cancelFlag.get() || r.sharedError.get() ||
           r.writer->status() != MovieWriter::Status::writing;
}

void VideoProcessor::videoLoop(Run& r) {
    if (r.videoEnded) return;
    const auto end = [&] {
        r.videoEnded = true;
        // After the frames still being finished. Waiting for them here, rather than
        // returning, matters: until the input is marked finished the writer calls this
        // loop again whenever it is ready, and it spun a core (27 000 calls an export).
        for (std::ptrdiff_t i = 0; i < framesInFlight; ++i) r.finishSlots.acquire();
        endLoop(r, Input::video);
    };
    for (;;) {
        if (mustEnd(r)) return end();
        if (!r.writer->isReadyForMoreMediaData(Input::video)) return;
        const bool more = r.yuvPool ? processFrame<Yuv420Frame>(r) : processFrame<PixelBuffer>(r);
        if (!more) return end();
    }
}

template <class Frame>
bool VideoProcessor::processFrame(Run& r) {
    auto sample = nextSample<Frame>(*r.videoReader);
    if (!sample) return false;
    auto work = startFinishing(r, *sample);
    // Without a buffer the frame is skipped: the movie lacks it, nothing more.
    if (!work) return true;
    work->mask = r.effect.neededMask(work->frame, settings_);
    // Beside the accurate network, which keeps this loop busy longest, composing goes to the
    // finishing queue's core. The fast networks leave composing the larger share; it stays
    // here, and that core is the encoder's (measured: composing beside them is slower).
    if (settings_.quality != QualityChoice::accurate) {
        work->picture = r.effect.composed(work->frame, work->mask, settings_, work->output);
        if (!work->picture) return true;
    }
    handOff(
        r, [&r, &settings = settings_, work = std::move(*work)] { finishFrame(r, work, settings); },
        sample->time.seconds());
    return true;
}

void VideoProcessor::handOff(Run& r, std::function<void()> work, double seconds) {
    r.finishSlots.acquire();
    r.finishQueue->async([&r, work = std::move(work)] {
        work();
        r.finishSlots.release();
    });
    report(r, seconds);
}

template <class Frame>
void VideoProcessor::finishFrame(Run& r, const Finishing<Frame>& work,
                                 const EffectSettings& settings) {
    if (r.sharedError.get()) return;
    const auto picture = work.picture
                             ? work.picture
                             : r.effect.composed(work.frame, work.mask, settings, work.output);
    if (!picture) return;
    noteAppended(r, appendPicture(r, *picture, work));
}

void VideoProcessor::noteAppended(Run& r, bool appended) {
    if (!appended) {
        const auto e = r.writer->error();
        r.sharedError.set(e ? *e : message(text::failure::writingVideoFailed));
        return;
    }
    ++r.framesWritten;
}

void VideoProcessor::report(Run& r, double seconds) {
    const auto now = Clock::now();
    const auto last = r.lastReport.get();
    if (last && std::chrono::duration<double>(now - *last).count() <= reportInterval) return;
    r.lastReport.set(now);
    const double done =
        r.durationKnown ? fraction(seconds, r.duration) : r.videoReader->fractionRead().value_or(0);
    const double elapsed = std::chrono::duration<double>(now - r.startedAt).count();
    mainQueue::async([progress = r.progress, done, text = timeLeftText(done, elapsed)] {
        progress(done, text);
    });
}

void VideoProcessor::audioLoop(Run& r) {
    if (r.audioEnded) return;
    for (;;) {
        const bool over = mustEnd(r);
        if (!over && !r.writer->isReadyForMoreMediaData(Input::audio)) return;
        if (over || !processAudio(r)) {
            r.audioEnded = true;
            return endLoop(r, Input::audio);
        }
    }
}

bool VideoProcessor::processAudio(Run& r) {
    auto sample = r.audioReader->nextAudio();
    if (!sample) return false;
    if (!r.writer->appendAudio(*sample)) {
        const auto e = r.writer->error();
        r.sharedError.set(e ? *e : message(text::failure::writingAudioFailed));
        return false;
    }
    return true;
}

void VideoProcessor::endLoop(Run& r, Input input) {
    r.writer->markAsFinished(input);
    if (--r.loops == 0) queue_->async([this] { finish(); });
}

void VideoProcessor::finish() {
    const std::shared_ptr<Run> r = std::move(run_);
    const auto fail = [&](const PlatformError& error) {
        r->writer->cancelWriting();
        r->staged.reset();
        deliver(error);
    };
    if (cancelFlag.get()) return fail(AppErr::cancelled());
    std::optional<PlatformError> error = r->sharedError.get();
    if (!error && r->writer->status() == MovieWriter::Status::failed) {
        error = r->writer->error().value_or(message(text::failure::writingVideoFailed));
    }
    if (!error && r->videoReader->error()) error = r->videoReader->error();
    if (!error && r->audioReader && r->audioReader->error()) error = r->audioReader->error();
    // A movie without a single picture is no copy of the video (a file cut off after its
    // header reads that way).
    if (!error && r->framesWritten == 0) error = message(text::failure::videoUnreadable);
    if (error) return fail(*error);
    if (!r->writer->finishWriting()) {
        return fail(r->writer->error().value_or(message(text::failure::videoNotFinished)));
    }
    if (auto e = r->staged->commit()) return fail(*e);
    mainQueue::async([progress = r->progress] { progress(1.0, std::string(text::status::done)); });
    deliver(output_);
}

}  // namespace pelliqo
