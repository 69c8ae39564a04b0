#include "platform/media/MovieWriter.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>

#include "platform/image/Yuv420.h"
#include "platform/media/AVError.h"
#include "platform/media/FFmpeg.h"
#include "platform/media/OutputFile.h"

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

namespace pelliqo {

namespace {

// An input may run this far ahead of the other before it waits.
constexpr double leadSeconds = 1.0;

struct AudioFifoFreer {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};

struct Track {
    ff::CodecContext encoder;
    AVStream* stream = nullptr;
    bool finished = false;
    double lastSeconds = 0;  // media time of the last data appended
    SerialQueue* queue = nullptr;
    std::function<void()> block;
    bool waiting = false;      // asked for data but was not ready
    bool toldStopped = false;  // its block ran once more after the writer stopped writing
};

// The common case, a frame of the encoder's size going to 4:2:0, by our own conversion at a
// third of the general scaler's cost.
bool convertedInto(AVFrame* f, const PixelBuffer& bgra) {
    if (f->format != AV_PIX_FMT_YUV420P || bgra.width() != f->width || bgra.height() != f->height) {
        return false;
    }
    return convertToYuv420(
        bgra, {f->data[0], f->linesize[0], f->data[1], f->linesize[1], f->data[2], f->linesize[2]});
}

// Any other frame, scaled to the encoder's size and format (an odd-sized camera's, for one).
bool scaledInto(ff::Scaler& scaler, AVFrame* f, const PixelBuffer& bgra) {
    scaler.reset(sws_getCachedContext(
        scaler.release(), bgra.width(), bgra.height(), AV_PIX_FMT_BGRA, f->width, f->height,
        static_cast<AVPixelFormat>(f->format), SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!scaler) return false;
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(scaler.get(), bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
    const std::uint8_t* planes[4] = {bgra.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {static_cast<int>(bgra.bytesPerRow()), 0, 0, 0};
    sws_scale(scaler.get(), planes, strides, 0, bgra.height(), f->data, f->linesize);
    return true;
}

}  // namespace

struct MovieWriter::State {
    std::filesystem::path path;
    MovieLayout layout = MovieLayout::whole;
    AVFormatContext* format = nullptr;
    mutable std::mutex lock;  // the muxer, the status and the readiness bookkeeping
    // Changed under the lock, read without it: a write held up by a disk that stopped
    // answering holds the lock, and callers asking whether to hand over more must not wait.
    std::atomic<Status> status = Status::unknown;
    std::optional<PlatformError> error;
    Track video;
    Track audio;
    bool hasAudio = false;
    std::optional<std::uint64_t> byteLimit;
    OutputFile::Existing existing = OutputFile::Existing::replace;
    std::optional<OutputFile> file;
    std::atomic<bool> createdFile = false;
    // Video conversion
    ff::Scaler scaler;
    ff::Frame videoFrame{av_frame_alloc()};
    std::int64_t lastVideoPts = AV_NOPTS_VALUE;
    // The latest video packet is held back until the next one shows how long it lasts: a
    // last frame without a duration would fall outside the movie's edit list and be lost.
    ff::Packet pendingVideo;
    std::int64_t lastVideoDelta = 0;
    // Audio: converted from 16-bit stereo 48 kHz to the encoder's form, then chunked into
    // encoder frames
    ff::Resampler resampler;
    std::unique_ptr<AVAudioFifo, AudioFifoFreer> fifo;
    ff::Frame audioFrame{av_frame_alloc()};
    std::int64_t nextAudioPts = AV_NOPTS_VALUE;

    ~State() {
        if (format != nullptr) avformat_free_context(format);
    }

    Track& track(Input input) { return input == Input::video ? video : audio; }
    const Track& track(Input input) const { return input == Input::video ? video : audio; }

    void fail(PlatformError e) {
        if (!error) error = std::move(e);
        status = Status::failed;
    }

    // Fails the writer from outside the lock, and lets a waiting input learn of it.
    bool stop(int averror) {
        {
            std::lock_guard guard(lock);
            fail(fromAVError(averror));
        }
        wakeIfStopped();
        return false;
    }

    // Writes one encoded packet (times in the encoder's time base); the caller holds lock.
    bool mux(Track& t, ff::Packet packet) {
        if (&t == &video) {
            std::swap(packet, pendingVideo);
            if (!packet) return true;
            lastVideoDelta = pendingVideo->dts - packet->dts;
            if (packet->duration <= 0) packet->duration = lastVideoDelta;
        }
        return writePacket(t, packet.get());
    }

    bool writePacket(Track& t, AVPacket* packet) {
        av_packet_rescale_ts(packet, t.encoder->time_base, t.stream->time_base);
        packet->stream_index = t.stream->index;
        if (const int w = av_interleaved_write_frame(format, packet); w < 0) {
            fail(fromAVError(w));
            return false;
        }
        return true;
    }

    // After the video encoder is flushed: the held-back packet lasts as long as the one
    // before it.
    bool muxLastVideo() {
        if (!pendingVideo) return true;
        ff::Packet last = std::move(pendingVideo);
        if (last->duration <= 0) last->duration = std::max<std::int64_t>(lastVideoDelta, 1);
        return writePacket(video, last.get());
    }

    // Sends one frame (or the flush) to an encoder and writes what comes out.
    bool encode(Track& t, AVFrame* frame) {
        int e = avcodec_send_frame(t.encoder.get(), frame);
        if (e < 0) {
            std::lock_guard guard(lock);
            fail(fromAVError(e));
            return false;
        }
        for (;;) {
            ff::Packet packet(av_packet_alloc());
            e = avcodec_receive_packet(t.encoder.get(), packet.get());
            if (e != 0) break;
            std::lock_guard guard(lock);
            if (status != Status::writing || !mux(t, std::move(packet))) return false;
        }
        if (e != AVERROR(EAGAIN) && e != AVERROR_EOF) {
            std::lock_guard guard(lock);
            fail(fromAVError(e));
            return false;
        }
        return true;
    }

    // Where the next sample converted would start, in the audio encoder's time base.
    std::int64_t audioEnd() const {
        return nextAudioPts + av_audio_fifo_size(fifo.get()) +
               swr_get_delay(resampler.get(), audio.encoder->sample_rate);
    }

    // Live sound can miss buffers; silence fills a gap so that what follows keeps its time.
    bool fillGap(std::int64_t at) {
        const int rate = audio.encoder->sample_rate;
        const std::int64_t gap = at - audioEnd();
        if (gap <= rate / 20) return true;  // under 50 ms: jitter, not a gap
        const int frames = static_cast<int>(std::min<std::int64_t>(gap, rate * 10LL));
        std::vector<float> silence(static_cast<std::size_t>(frames));
        std::vector<void*> planes(static_cast<std::size_t>(audio.encoder->ch_layout.nb_channels),
                                  silence.data());
        return av_audio_fifo_write(fifo.get(), planes.data(), frames) >= frames;
    }

    // Live sound whose clock runs ahead of the picture's, or that came in late once and was
    // padded, would drift out of step with it: the frames of the sample that overlap what is
    // already written, past 40 ms, are left out.
    int overlapping(std::int64_t at, const AudioSample& sample) const {
        const int rate = audio.encoder->sample_rate;
        const std::int64_t ahead = audioEnd() - at;
        if (ahead <= rate / 25) return 0;
        return static_cast<int>(
            std::min<std::int64_t>(av_rescale(ahead, AudioSample::rate, rate), sample.frames()));
    }

    // Converts 16-bit stereo at 48 kHz into the encoder's channels and rate, from the frame
    // `from` of the sample on; an empty sample drains what the resampler holds.
    bool resample(const AudioSample& sample, int from = 0) {
        const int in = sample.frames() - from;
        if (in == 0 && from > 0) return true;  // all of it left out
        const int out = swr_get_out_samples(resampler.get(), in);
        if (out < 0) return false;
        const int channels = audio.encoder->ch_layout.nb_channels;
        std::vector<std::vector<float>> buffers(
            static_cast<std::size_t>(channels),
            std::vector<float>(static_cast<std::size_t>(out) + 1));
        std::vector<std::uint8_t*> planes;
        for (auto& b : buffers) planes.push_back(reinterpret_cast<std::uint8_t*>(b.data()));
        const auto* input = reinterpret_cast<const std::uint8_t*>(
            sample.samples.data() + static_cast<std::size_t>(from) * 2);
        const int made =
            swr_convert(resampler.get(), planes.data(), out, in > 0 ? &input : nullptr, in);
        if (made < 0) return false;
        return av_audio_fifo_write(fifo.get(), reinterpret_cast<void**>(planes.data()), made) >=
               made;
    }

    // Encodes whole encoder frames from the fifo; at the end (last) also the short rest.
    bool encodeAudio(bool last) {
        AVCodecContext* c = audio.encoder.get();
        for (;;) {
            const int waiting = av_audio_fifo_size(fifo.get());
            if (waiting == 0 || (!last && waiting < c->frame_size)) return true;
            const int n = std::min(waiting, c->frame_size);
            AVFrame* f = audioFrame.get();
            av_frame_unref(f);
            f->nb_samples = n;
            f->format = c->sample_fmt;
            av_channel_layout_copy(&f->ch_layout, &c->ch_layout);
            f->sample_rate = c->sample_rate;
            if (av_frame_get_buffer(f, 0) < 0) return stop(AVERROR(ENOMEM));
            av_audio_fifo_read(fifo.get(), reinterpret_cast<void**>(f->data), n);
            f->pts = nextAudioPts;
            nextAudioPts += n;
            if (!encode(audio, f)) return false;
        }
    }

    bool ready(Input input) const {
        const Track& self = track(input);
        const Track& other = track(input == Input::video ? Input::audio : Input::video);
        if (status != Status::writing || self.finished) return false;
        const bool otherActive =
            (input == Input::video ? hasAudio : true) && other.encoder && !other.finished;
        return !otherActive || self.lastSeconds <= other.lastSeconds + leadSeconds;
    }

    // Once the writer has stopped writing (failed or cancelled), each input left waiting
    // has its block run once more: nothing else would, and its loop must see the end.
    void wakeIfStopped() {
        std::vector<std::pair<SerialQueue*, std::function<void()>>> runs;
        {
            std::lock_guard guard(lock);
            if (status == Status::writing) return;
            for (Track* t : {&video, &audio}) {
                if (!t->waiting || t->finished || t->toldStopped || t->queue == nullptr) continue;
                t->waiting = false;
                t->toldStopped = true;
                runs.emplace_back(t->queue, t->block);
            }
        }
        for (auto& [queue, block] : runs) queue->async(block);
    }

    // After an input moved on, wakes the other one if it was waiting and is ready now.
    void wakeOther(Input input) {
        const Input otherInput = input == Input::video ? Input::audio : Input::video;
        std::function<void()> run;
        SerialQueue* queue = nullptr;
        {
            std::lock_guard guard(lock);
            Track& other = track(otherInput);
            if (!other.waiting || !ready(otherInput)) return;
            other.waiting = false;
            run = other.block;
            queue = other.queue;
        }
        if (queue != nullptr) queue->async(run);
    }
};

int h264Level(int width, int height, double frameRate, std::int64_t bitRate) {
    struct Limits {
        int level;
        double macroblocksPerSecond;
        double frameMacroblocks;
        double highBitRate;  // bits per second, High profile
    };
    static constexpr Limits table[] = {
        {30, 40500, 1620, 12.5e6},     {31, 108000, 3600, 17.5e6},   {32, 216000, 5120, 25e6},
        {40, 245760, 8192, 25e6},      {41, 245760, 8192, 62.5e6},   {42, 522240, 8704, 62.5e6},
        {50, 589824, 22080, 168.75e6}, {51, 983040, 36864, 300e6},   {52, 2073600, 36864, 300e6},
        {60, 4177920, 139264, 300e6},  {61, 8355840, 139264, 300e6}, {62, 16711680, 139264, 800e6},
    };
    const double frame = std::ceil(width / 16.0) * std::ceil(height / 16.0);
    const double fps = frameRate > 0 ? frameRate : 60;  // unknown: allow for 60
    for (const Limits& l : table) {
        if (frame <= l.frameMacroblocks && frame * fps <= l.macroblocksPerSecond &&
            static_cast<double>(bitRate) <= l.highBitRate) {
            return l.level;
        }
    }
    return 62;
}

MovieWriter::MovieWriter(std::unique_ptr<State> state) : state_(std::move(state)) {}

MovieWriter::~MovieWriter() {
    if (state_->status == Status::writing) cancelWriting();
}

Result<std::unique_ptr<MovieWriter>> MovieWriter::create(const std::filesystem::path& path,
                                                         MovieFileType type, MovieLayout layout) {
    auto state = std::make_unique<State>();
    state->path = path;
    state->layout = layout;
    const char* name = type == MovieFileType::quickTime ? "mov" : "mp4";
    if (const int e = avformat_alloc_output_context2(&state->format, nullptr, name, path.c_str());
        e < 0) {
        return fromAVError(e);
    }
    return std::unique_ptr<MovieWriter>(new MovieWriter(std::move(state)));
}

bool MovieWriter::addVideoInput(const VideoEncoding& encoding) {
    State& s = *state_;
    const bool prores = encoding.codec == VideoEncoding::Codec::prores4444;
    const AVCodec* codec = avcodec_find_encoder_by_name(prores ? "prores_aw" : "libx264");
    if (codec == nullptr || encoding.width < 2 || encoding.height < 2) return false;
    ff::CodecContext c(avcodec_alloc_context3(codec));
    c->width = encoding.width;
    c->height = encoding.height;
    c->time_base = AVRational{encoding.timebase.num, encoding.timebase.den};
    // Without it x264 takes the time base for the frame rate and declares an absurd level.
    if (encoding.frameRate > 0) c->framerate = av_d2q(encoding.frameRate, 100000);
    c->pix_fmt = prores ? AV_PIX_FMT_YUVA444P10LE : AV_PIX_FMT_YUV420P;
    c->bit_rate = encoding.bitRate;
    c->color_primaries = AVCOL_PRI_BT709;
    c->color_trc = AVCOL_TRC_BT709;
    c->colorspace = AVCOL_SPC_BT709;
    c->color_range = AVCOL_RANGE_MPEG;
    c->thread_count = 0;
    if (s.format->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    if (prores) {
        c->profile = FF_PROFILE_PRORES_4444;
    } else {
        // Declared from the size, rate and bit rate: x264's own guess can be absurdly high,
        // which makes some players and editors refuse the file.
        c->level = h264Level(c->width, c->height, encoding.frameRate, encoding.bitRate);
        av_dict_set(&options, "profile", "high", 0);
        av_dict_set(&options, "preset", encoding.h264Preset.c_str(), 0);
        if (!encoding.h264Tune.empty()) av_dict_set(&options, "tune", encoding.h264Tune.c_str(), 0);
    }
    const int e = avcodec_open2(c.get(), codec, &options);
    av_dict_free(&options);
    if (e < 0) return false;
    AVStream* stream = avformat_new_stream(s.format, nullptr);
    if (stream == nullptr || avcodec_parameters_from_context(stream->codecpar, c.get()) < 0)
        return false;
    stream->time_base = c->time_base;
    stream->avg_frame_rate = c->framerate;
    if (!encoding.timecode.empty() && encoding.frameRate > 0)
        av_dict_set(&stream->metadata, "timecode", encoding.timecode.c_str(), 0);
    s.video.encoder = std::move(c);
    s.video.stream = stream;
    return true;
}

bool MovieWriter::addAudioInput(const AudioEncoding& encoding) {
    State& s = *state_;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (codec == nullptr) return false;
    ff::CodecContext c(avcodec_alloc_context3(codec));
    av_channel_layout_default(&c->ch_layout, encoding.channels);
    c->sample_rate = encoding.sampleRate;
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->bit_rate = encoding.bitRate;
    c->time_base = AVRational{1, encoding.sampleRate};
    if (s.format->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(c.get(), codec, nullptr) < 0) return false;
    AVStream* stream = avformat_new_stream(s.format, nullptr);
    if (stream == nullptr || avcodec_parameters_from_context(stream->codecpar, c.get()) < 0)
        return false;
    stream->time_base = c->time_base;
    s.fifo.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, encoding.channels, c->frame_size * 4));
    if (!s.fifo) return false;
    SwrContext* resampler = nullptr;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    if (swr_alloc_set_opts2(&resampler, &c->ch_layout, AV_SAMPLE_FMT_FLTP, c->sample_rate, &stereo,
                            AV_SAMPLE_FMT_S16, AudioSample::rate, 0, nullptr) < 0 ||
        swr_init(resampler) < 0) {
        swr_free(&resampler);
        return false;
    }
    s.resampler.reset(resampler);
    s.audio.encoder = std::move(c);
    s.audio.stream = stream;
    s.hasAudio = true;
    return true;
}

void MovieWriter::setMetadata(const MovieMetadata& metadata) {
    for (const auto& [key, value] : metadata)
        av_dict_set(&state_->format->metadata, key.c_str(), value.c_str(), 0);
}

void MovieWriter::limitOutput(std::uint64_t bytes) {
    state_->byteLimit = bytes;
}

void MovieWriter::keepExistingFiles() {
    state_->existing = OutputFile::Existing::keep;
}

bool MovieWriter::createdFile() const {
    return state_->createdFile;
}

bool MovieWriter::startWriting() {
    State& s = *state_;
    std::lock_guard guard(s.lock);
    if (!s.video.encoder) {
        s.fail(fromAVError(AVERROR(EINVAL)));
        return false;
    }
    auto file = OutputFile::open(s.path, s.byteLimit, s.existing);
    if (!file) {
        s.fail(file.error());
        return false;
    }
    s.createdFile = file.value().created();
    s.file = std::move(file).value();
    s.format->pb = s.file->io();
    if (!av_dict_get(s.format->metadata, "creation_time", nullptr, 0))
        av_dict_set(&s.format->metadata, "creation_time", "now", 0);
    // Tag the colours (BT.709) in the container too: ProRes carries no tag of its own here.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+write_colr", 0);
    if (s.layout == MovieLayout::fragmented) {
        av_dict_set(&options, "movflags", "+empty_moov+default_base_moof", AV_DICT_APPEND);
        av_dict_set(&options, "frag_duration", "1000000", 0);  // microseconds
        // A track that falls silent must not hold the other back from the next fragment.
        s.format->max_interleave_delta = 1000000;
    }
    const int e = avformat_write_header(s.format, &options);
    av_dict_free(&options);
    if (e < 0) {
        s.fail(fromAVError(e));
        return false;
    }
    s.status = Status::writing;
    return true;
}

bool MovieWriter::isReadyForMoreMediaData(Input input) const {
    std::lock_guard guard(state_->lock);
    return state_->ready(input);
}

void MovieWriter::requestMediaDataWhenReady(Input input, SerialQueue& queue,
                                            std::function<void()> block) {
    State& s = *state_;
    // After each run of the block, under the same lock the other input takes to wake this
    // one: run again at once if ready, otherwise wait to be woken. No wake-up gets lost.
    auto run = std::make_shared<std::function<void()>>();
    *run = [this, input, &queue, block = std::move(block), weakRun = std::weak_ptr(run)] {
        block();
        State& st = *state_;
        std::lock_guard guard(st.lock);
        Track& tr = st.track(input);
        if (tr.finished) return;
        if (st.status != Status::writing) {
            // Stopped while the block ran: once more, so that it sees the end.
            if (!std::exchange(tr.toldStopped, true)) {
                if (auto again = weakRun.lock()) queue.async(*again);
            }
            return;
        }
        if (st.ready(input)) {
            if (auto again = weakRun.lock()) queue.async(*again);
        } else {
            tr.waiting = true;
        }
    };
    {
        std::lock_guard guard(s.lock);
        Track& t = s.track(input);
        t.queue = &queue;
        t.block = [run] { (*run)(); };
    }
    queue.async([run] { (*run)(); });
}

bool MovieWriter::appendVideo(const PixelBuffer& bgra, MediaTime time) {
    if (bgra.format() != PixelFormat::bgra8) return refuseVideo();
    return appendPicture(time, [&](AVFrame* f) {
        return convertedInto(f, bgra) || scaledInto(state_->scaler, f, bgra);
    });
}

bool MovieWriter::appendVideo(const Yuv420Frame& yuv, MediaTime time) {
    const AVCodecContext* c = state_->video.encoder.get();
    if (c == nullptr || c->pix_fmt != AV_PIX_FMT_YUV420P || c->width != yuv.width() ||
        c->height != yuv.height()) {
        return refuseVideo();
    }
    return appendPicture(time, [&](AVFrame* f) {
        const Yuv420Planes p = yuv.planes();
        const std::uint8_t* planes[4] = {p.y, p.u, p.v, nullptr};
        const int strides[4] = {p.yStride, p.uStride, p.vStride, 0};
        av_image_copy(f->data, f->linesize, planes, strides, AV_PIX_FMT_YUV420P, f->width,
                      f->height);
        return true;
    });
}

bool MovieWriter::refuseVideo() {
    return state_->stop(AVERROR(EINVAL));
}

bool MovieWriter::appendPicture(MediaTime time, const std::function<bool(AVFrame*)>& fill) {
    State& s = *state_;
    Track& t = s.video;
    AVCodecContext* c = t.encoder.get();
    AVFrame* f = s.videoFrame.get();
    av_frame_unref(f);
    f->format = c->pix_fmt;
    f->width = c->width;
    f->height = c->height;
    // Some encoders (ProRes) tag each frame from the frame's own colour description.
    f->color_primaries = c->color_primaries;
    f->color_trc = c->color_trc;
    f->colorspace = c->colorspace;
    f->color_range = c->color_range;
    if (av_frame_get_buffer(f, 0) < 0) return s.stop(AVERROR(ENOMEM));
    if (!fill(f)) return s.stop(AVERROR(EINVAL));
    std::int64_t pts = av_rescale_q(time.value, AVRational{time.num, time.den}, c->time_base);
    // Encoders need strictly increasing times; a repeated time moves on by one tick.
    if (s.lastVideoPts != AV_NOPTS_VALUE && pts <= s.lastVideoPts) pts = s.lastVideoPts + 1;
    s.lastVideoPts = pts;
    f->pts = pts;
    if (!s.encode(t, f)) {
        s.wakeIfStopped();
        return false;
    }
    {
        std::lock_guard guard(s.lock);
        t.lastSeconds = time.seconds();
    }
    s.wakeOther(Input::video);
    return true;
}

bool MovieWriter::appendAudio(const AudioSample& sample) {
    State& s = *state_;
    Track& t = s.audio;
    AVCodecContext* c = t.encoder.get();
    const std::int64_t at =
        av_rescale_q(sample.time.value, AVRational{sample.time.num, sample.time.den}, c->time_base);
    if (s.nextAudioPts == AV_NOPTS_VALUE) s.nextAudioPts = at;
    if (!s.fillGap(at) || !s.resample(sample, s.overlapping(at, sample)))
        return s.stop(AVERROR(ENOMEM));
    if (!s.encodeAudio(false)) {
        s.wakeIfStopped();
        return false;
    }
    {
        std::lock_guard guard(s.lock);
        t.lastSeconds = sample.time.seconds();
    }
    s.wakeOther(Input::audio);
    return true;
}

void MovieWriter::markAsFinished(Input input) {
    State& s = *state_;
    Track& t = s.track(input);
    {
        std::lock_guard guard(s.lock);
        if (t.finished || !t.encoder) return;
    }
    if (input == Input::audio) {
        // What the resampler still holds, then the last, short frame of audio.
        s.resample(AudioSample{});
        s.encodeAudio(true);
    }
    s.encode(t, nullptr);  // flush
    {
        std::lock_guard guard(s.lock);
        if (input == Input::video && s.status == Status::writing) s.muxLastVideo();
        t.finished = true;
    }
    s.wakeOther(input);
    s.wakeIfStopped();
}

bool MovieWriter::finishWriting() {
    State& s = *state_;
    {
        std::lock_guard guard(s.lock);
        if (s.status != Status::writing) return false;
        const int e = av_write_trailer(s.format);
        s.format->pb = nullptr;
        const auto closing = s.file->close();
        s.file.reset();
        if (e < 0 || closing) {
            s.fail(e < 0 ? fromAVError(e) : *closing);
        } else {
            s.status = Status::completed;
            return true;
        }
    }
    s.wakeIfStopped();
    return false;
}

void MovieWriter::cancelWriting() {
    State& s = *state_;
    {
        std::lock_guard guard(s.lock);
        s.format->pb = nullptr;
        s.file.reset();
        if (s.status == Status::writing || s.status == Status::unknown)
            s.status = Status::cancelled;
    }
    s.wakeIfStopped();
}

MovieWriter::Status MovieWriter::status() const {
    return state_->status;
}

std::optional<PlatformError> MovieWriter::error() const {
    std::lock_guard guard(state_->lock);
    return state_->error;
}

}  // namespace pelliqo
