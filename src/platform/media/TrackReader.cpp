#include "platform/media/TrackReader.h"

#include <algorithm>
#include <cmath>

#include "platform/image/MatView.h"
#include "platform/image/PixelBufferPool.h"
#include "platform/image/ToneMapping.h"
#include "platform/media/AVError.h"
#include "platform/media/Deinterlacer.h"
#include "platform/media/FFmpeg.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/mastering_display_metadata.h>
#include <libavutil/opt.h>
}

namespace pelliqo {

struct TrackReader::State {
    ff::InputFormat format;
    ff::CodecContext decoder;
    AVStream* stream = nullptr;
    // Where the movie starts, in the track's time base: times are handed out from there, as
    // players count them. Broadcast and camcorder streams start anywhere on their clock.
    std::int64_t origin = 0;
    std::int64_t lastPts = AV_NOPTS_VALUE;  // of the frame handed out last
    std::int64_t lastPosition = 0;          // in the file, of the packet read last
    ff::Packet packet{av_packet_alloc()};
    ff::Frame frame{av_frame_alloc()};
    // Interlaced video goes through this; a frame that does not fit it waits in `changed`
    // until what it holds is out.
    std::optional<Deinterlacer> deinterlacer;
    ff::Frame changed{av_frame_alloc()};
    bool draining = false;
    bool ended = false;
    // Video
    ff::Scaler scaler;
    std::shared_ptr<PixelBufferPool> pool;
    // High-dynamic-range frames: read at 16 bits a colour, then tone-mapped the one way made
    // for the first of them (so that the picture's brightness never changes midway).
    std::array<cv::Mat, 3> wide;  // red, green, blue
    std::optional<std::pair<AVColorTransferCharacteristic, ToneMapping>> toneMapping;
    std::shared_ptr<PixelBufferPool> yuvPool;  // made on the first frame read as 4:2:0
    // Audio
    ff::Resampler resampler;
    std::int64_t nextSample = AV_NOPTS_VALUE;  // position of the next output sample, 1/48000 s
};

namespace {

// Some decoders fail with a bare -1, which reads as AVERROR(EPERM): it means damaged data,
// never a permission.
PlatformError decodingError(int averror) {
    return fromAVError(averror == AVERROR(EPERM) ? AVERROR_INVALIDDATA : averror);
}

Result<std::unique_ptr<TrackReader::State>> openTrack(const std::filesystem::path& path,
                                                      int index) {
    auto state = std::make_unique<TrackReader::State>();
    if (const int e = ff::openInputFile(state->format, path); e < 0) return fromAVError(e);
    AVFormatContext* raw = state->format.get();
    if (const int e = avformat_find_stream_info(raw, nullptr); e < 0) return fromAVError(e);
    if (index < 0 || index >= static_cast<int>(raw->nb_streams))
        return fromAVError(AVERROR_STREAM_NOT_FOUND);
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        raw->streams[i]->discard = static_cast<int>(i) == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    state->stream = raw->streams[index];
    if (raw->start_time != AV_NOPTS_VALUE)
        state->origin = av_rescale_q(raw->start_time, AV_TIME_BASE_Q, state->stream->time_base);
    const AVCodec* codec = avcodec_find_decoder(state->stream->codecpar->codec_id);
    if (codec == nullptr) return fromAVError(AVERROR_DECODER_NOT_FOUND);
    state->decoder.reset(avcodec_alloc_context3(codec));
    if (!state->decoder || !state->packet || !state->frame || !state->changed)
        return fromAVError(AVERROR(ENOMEM));
    if (const int e = avcodec_parameters_to_context(state->decoder.get(), state->stream->codecpar);
        e < 0) {
        return fromAVError(e);
    }
    state->decoder->pkt_timebase = state->stream->time_base;
    state->decoder->thread_count = 0;  // as many as the machine has
    if (const int e = avcodec_open2(state->decoder.get(), codec, nullptr); e < 0)
        return fromAVError(e);
    return state;
}

}  // namespace

TrackReader::TrackReader(std::unique_ptr<State> state) : state_(std::move(state)) {}
TrackReader::~TrackReader() = default;

Result<std::unique_ptr<TrackReader>> TrackReader::video(const std::filesystem::path& path,
                                                        const VideoTrack& track) {
    auto state = openTrack(path, track.streamIndex);
    if (!state) return state.error();
    // At the size the track is shown, which for pixels that are not square is not the size
    // they are stored at.
    state.value()->pool =
        PixelBufferPool::create(track.naturalWidth, track.naturalHeight, PixelFormat::bgra8);
    if (!state.value()->pool) return fromAVError(AVERROR_INVALIDDATA);
    return std::unique_ptr<TrackReader>(new TrackReader(std::move(state).value()));
}

Result<std::unique_ptr<TrackReader>> TrackReader::audio(const std::filesystem::path& path,
                                                        const AudioTrack& track) {
    auto state = openTrack(path, track.streamIndex);
    if (!state) return state.error();
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    SwrContext* raw = nullptr;
    const AVCodecContext* d = state.value()->decoder.get();
    AVChannelLayout in{};
    if (d->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        av_channel_layout_default(&in, d->ch_layout.nb_channels);
    } else {
        av_channel_layout_copy(&in, &d->ch_layout);
    }
    int e = swr_alloc_set_opts2(&raw, &stereo, AV_SAMPLE_FMT_S16, AudioSample::rate, &in,
                                d->sample_fmt, d->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&in);
    state.value()->resampler.reset(raw);
    if (e >= 0) e = swr_init(raw);
    if (e < 0) return fromAVError(e);
    return std::unique_ptr<TrackReader>(new TrackReader(std::move(state).value()));
}

bool TrackReader::seek(double seconds) {
    State& s = *state_;
    const auto target = static_cast<std::int64_t>(
        std::llround(std::max(seconds, 0.0) / av_q2d(s.stream->time_base)) + s.origin);
    // A stream without times or an index (bare H.264) can only be read again from its start.
    if (av_seek_frame(s.format.get(), s.stream->index, target, AVSEEK_FLAG_BACKWARD) < 0 &&
        av_seek_frame(s.format.get(), -1, 0, AVSEEK_FLAG_BYTE) < 0) {
        return false;
    }
    avcodec_flush_buffers(s.decoder.get());
    s.deinterlacer.reset();
    av_frame_unref(s.changed.get());
    s.lastPts = AV_NOPTS_VALUE;
    s.draining = false;
    s.ended = false;
    error_.reset();
    return true;
}

std::optional<double> TrackReader::fractionRead() const {
    // Where the last packet lay: the file itself has been read further ahead while the
    // movie was first looked at.
    AVIOContext* io = state_->format->pb;
    const std::int64_t size = io ? avio_size(io) : -1;
    if (size <= 0) return std::nullopt;
    const double read = static_cast<double>(state_->lastPosition) / static_cast<double>(size);
    return std::clamp(read, 0.0, 1.0);
}

bool TrackReader::decodeNext() {
    State& s = *state_;
    while (true) {
        if (s.deinterlacer) {
            const int pulled = s.deinterlacer->pull(*s.frame);
            if (pulled == 0) return true;
            if (pulled != AVERROR(EAGAIN)) {
                // All it held is out: the end, or a frame it could not take came, which goes
                // on now. Anything else is a failure, not an end.
                if (pulled != AVERROR_EOF) error_ = fromAVError(pulled);
                s.deinterlacer.reset();
                if (error_) return false;
                if (!s.changed->buf[0]) return false;
                av_frame_move_ref(s.frame.get(), s.changed.get());
                if (startDeinterlacing()) continue;
                return true;
            }
        }
        if (!decodeFrame()) {
            if (!s.deinterlacer || s.deinterlacer->flushed()) return false;
            s.deinterlacer->flush();
        } else if (!s.deinterlacer) {
            if (!startDeinterlacing()) return true;
        } else if (!s.deinterlacer->fits(*s.frame) || !s.deinterlacer->push(*s.frame)) {
            av_frame_move_ref(s.changed.get(), s.frame.get());
            s.deinterlacer->flush();
        }
    }
}

bool TrackReader::startDeinterlacing() {
    State& s = *state_;
    if (!s.frame->interlaced_frame || !s.pool) return false;
    s.deinterlacer = Deinterlacer::make(*s.frame, s.stream->time_base);
    if (!s.deinterlacer || s.deinterlacer->push(*s.frame)) return s.deinterlacer.has_value();
    s.deinterlacer.reset();
    return false;
}

bool TrackReader::decodeFrame() {
    State& s = *state_;
    while (!s.ended) {
        const int received = avcodec_receive_frame(s.decoder.get(), s.frame.get());
        if (received == 0) return true;
        if (received == AVERROR_EOF) {
            s.ended = true;
            break;
        }
        if (received != AVERROR(EAGAIN)) {
            error_ = decodingError(received);
            s.ended = true;
            break;
        }
        if (s.draining) {
            s.ended = true;
            break;
        }
        const int read = av_read_frame(s.format.get(), s.packet.get());
        if (read == AVERROR_EOF) {
            s.draining = true;
            avcodec_send_packet(s.decoder.get(), nullptr);
            continue;
        }
        if (read < 0) {
            error_ = fromAVError(read);
            s.ended = true;
            break;
        }
        if (s.packet->pos >= 0) s.lastPosition = s.packet->pos;
        if (s.packet->stream_index == s.stream->index) {
            const int sent = avcodec_send_packet(s.decoder.get(), s.packet.get());
            // A damaged packet is skipped, as players do, whatever the decoder calls the
            // damage; the decoder carries on.
            if (sent == AVERROR(ENOMEM)) {
                error_ = fromAVError(sent);
                s.ended = true;
            }
        }
        av_packet_unref(s.packet.get());
    }
    return false;
}

namespace {

// One frame at the stream's rate, in its time base; 25 a second when it says none, as
// FFmpeg takes a bare H.264 stream to be.
std::int64_t frameStep(const AVStream* stream) {
    AVRational rate = stream->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = stream->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = AVRational{25, 1};
    return std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(rate), stream->time_base));
}

}  // namespace

std::optional<MediaTime> TrackReader::nextPicture(const std::function<bool(AVFrame*)>& take) {
    State& s = *state_;
    while (decodeNext()) {
        AVFrame* f = s.frame.get();
        const bool taken = take(f);
        std::int64_t pts = f->best_effort_timestamp;
        av_frame_unref(f);
        if (!taken) continue;  // a frame without a buffer is skipped
        // A stream that carries no times (bare H.264, as dashcams and the Raspberry Pi camera
        // record it) is timed as players time it: each frame one step after the one before.
        if (pts == AV_NOPTS_VALUE)
            pts = s.lastPts == AV_NOPTS_VALUE ? s.origin : s.lastPts + frameStep(s.stream);
        s.lastPts = pts;
        return MediaTime{pts - s.origin, s.stream->time_base.num, s.stream->time_base.den};
    }
    return std::nullopt;
}

namespace {

// The frame's own colour matrix and range, into full-range RGB; untagged, HD is BT.709 and SD
// BT.601, as players assume.
void takeFrameColours(SwsContext* scaler, const AVFrame* f) {
    const AVColorSpace space = f->colorspace != AVCOL_SPC_UNSPECIFIED ? f->colorspace
                               : f->height >= 720                     ? AVCOL_SPC_BT709
                                                                      : AVCOL_SPC_BT470BG;
    sws_setColorspaceDetails(scaler, sws_getCoefficients(space),
                             f->color_range == AVCOL_RANGE_JPEG ? 1 : 0,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
}

std::optional<HdrTransfer> hdrTransfer(AVColorTransferCharacteristic transfer) {
    if (transfer == AVCOL_TRC_SMPTE2084) return HdrTransfer::pq;
    if (transfer == AVCOL_TRC_ARIB_STD_B67) return HdrTransfer::hlg;
    return std::nullopt;
}

// What the file says of its picture, or else what its frame says.
template <class Data>
const Data* sideData(const AVStream* stream, AVPacketSideDataType ofFile, const AVFrame* f,
                     AVFrameSideDataType ofFrame) {
    if (const std::uint8_t* d = av_stream_get_side_data(stream, ofFile, nullptr))
        return reinterpret_cast<const Data*>(d);
    const AVFrameSideData* d = av_frame_get_side_data(f, ofFrame);
    return d ? reinterpret_cast<const Data*>(d->data) : nullptr;
}

// The brightest light the picture holds; most are made for 1,000 cd/m².
double peakNits(const AVStream* stream, const AVFrame* f) {
    const auto* level = sideData<AVContentLightMetadata>(stream, AV_PKT_DATA_CONTENT_LIGHT_LEVEL, f,
                                                         AV_FRAME_DATA_CONTENT_LIGHT_LEVEL);
    if (level && level->MaxCLL > 0) return level->MaxCLL;
    const auto* display =
        sideData<AVMasteringDisplayMetadata>(stream, AV_PKT_DATA_MASTERING_DISPLAY_METADATA, f,
                                             AV_FRAME_DATA_MASTERING_DISPLAY_METADATA);
    if (display && display->has_luminance && display->max_luminance.num > 0)
        return av_q2d(display->max_luminance);
    return 1000;
}

// Shown as it is, a high-dynamic-range picture's light reads as an ordinary picture's: pale
// and flat.
bool toneMapInto(TrackReader::State& s, AVFrame* f, HdrTransfer transfer, PixelBuffer& buffer) {
    const int w = s.pool->width(), h = s.pool->height();
    s.scaler.reset(sws_getCachedContext(
        s.scaler.release(), f->width, f->height, static_cast<AVPixelFormat>(f->format), w, h,
        AV_PIX_FMT_GBRP16, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!s.scaler) return false;
    takeFrameColours(s.scaler.get(), f);
    for (cv::Mat& plane : s.wide) plane.create(h, w, CV_16UC1);
    const std::array<cv::Mat, 3>& rgb = s.wide;  // planes G, B, R as FFmpeg orders them
    std::uint8_t* planes[4] = {rgb[1].data, rgb[2].data, rgb[0].data, nullptr};
    const int strides[4] = {static_cast<int>(rgb[1].step), static_cast<int>(rgb[2].step),
                            static_cast<int>(rgb[0].step), 0};
    sws_scale(s.scaler.get(), f->data, f->linesize, 0, f->height, planes, strides);
    if (!s.toneMapping || s.toneMapping->first != f->color_trc) {
        s.toneMapping.emplace(
            f->color_trc,
            ToneMapping(transfer, f->color_primaries == AVCOL_PRI_BT2020, peakNits(s.stream, f)));
    }
    cv::Mat out = matView(buffer);
    s.toneMapping->second.apply(s.wide, out);
    return true;
}

}  // namespace

std::optional<VideoSample> TrackReader::nextVideo() {
    State& s = *state_;
    std::optional<PixelBuffer> buffer;
    const auto time = nextPicture([&](AVFrame* f) {
        buffer = s.pool->makeBuffer();
        if (!buffer) return false;
        if (const auto transfer = hdrTransfer(f->color_trc))
            return toneMapInto(s, f, *transfer, *buffer);
        s.scaler.reset(sws_getCachedContext(s.scaler.release(), f->width, f->height,
                                            static_cast<AVPixelFormat>(f->format), s.pool->width(),
                                            s.pool->height(), AV_PIX_FMT_BGRA, SWS_BILINEAR,
                                            nullptr, nullptr, nullptr));
        if (!s.scaler) return false;
        takeFrameColours(s.scaler.get(), f);
        std::uint8_t* planes[4] = {buffer->data(), nullptr, nullptr, nullptr};
        const int strides[4] = {static_cast<int>(buffer->bytesPerRow()), 0, 0, 0};
        sws_scale(s.scaler.get(), f->data, f->linesize, 0, f->height, planes, strides);
        return true;
    });
    if (!time) return std::nullopt;
    return VideoSample{*buffer, *time};
}

bool TrackReader::decodesToMovieYuv() const {
    const AVCodecContext* d = state_->decoder.get();
    const bool bt709 = d->colorspace == AVCOL_SPC_BT709 ||
                       (d->colorspace == AVCOL_SPC_UNSPECIFIED && d->height >= 720);
    return d->pix_fmt == AV_PIX_FMT_YUV420P && d->color_range != AVCOL_RANGE_JPEG && bt709 &&
           !hdrTransfer(d->color_trc) && d->width % 2 == 0 && d->height % 2 == 0;
}

std::optional<YuvVideoSample> TrackReader::nextYuvVideo() {
    State& s = *state_;
    if (!s.yuvPool) {
        s.yuvPool = PixelBufferPool::create(s.pool->width() / 2 * 2,
                                            Yuv420Frame::storageHeight(s.pool->height()),
                                            PixelFormat::gray8);
        if (!s.yuvPool) return std::nullopt;
    }
    std::optional<Yuv420Frame> yuv;
    const auto time = nextPicture([&](AVFrame* f) {
        const auto buffer = s.yuvPool->makeBuffer();
        yuv = buffer ? Yuv420Frame::over(*buffer) : std::nullopt;
        if (!yuv) return false;
        const Yuv420Planes p = yuv->planes();
        std::uint8_t* planes[4] = {p.y, p.u, p.v, nullptr};
        int strides[4] = {p.yStride, p.uStride, p.vStride, 0};
        if (f->format == AV_PIX_FMT_YUV420P && f->width == yuv->width() &&
            f->height == yuv->height()) {
            av_image_copy(planes, strides, const_cast<const std::uint8_t**>(f->data), f->linesize,
                          AV_PIX_FMT_YUV420P, f->width, f->height);
            return true;
        }
        s.scaler.reset(sws_getCachedContext(s.scaler.release(), f->width, f->height,
                                            static_cast<AVPixelFormat>(f->format), yuv->width(),
                                            yuv->height(), AV_PIX_FMT_YUV420P, SWS_BILINEAR,
                                            nullptr, nullptr, nullptr));
        if (!s.scaler) return false;
        sws_scale(s.scaler.get(), f->data, f->linesize, 0, f->height, planes, strides);
        return true;
    });
    if (!time) return std::nullopt;
    return YuvVideoSample{*yuv, *time};
}

std::optional<AudioSample> TrackReader::nextAudio() {
    State& s = *state_;
    while (decodeNext()) {
        AVFrame* f = s.frame.get();
        if (s.nextSample == AV_NOPTS_VALUE) {
            const std::int64_t pts = f->best_effort_timestamp == AV_NOPTS_VALUE
                                         ? 0
                                         : f->best_effort_timestamp - s.origin;
            s.nextSample = av_rescale_q(pts, s.stream->time_base, AVRational{1, AudioSample::rate});
        }
        const int capacity = swr_get_out_samples(s.resampler.get(), f->nb_samples);
        AudioSample out;
        out.samples.resize(static_cast<std::size_t>(std::max(capacity, 0)) * AudioSample::channels);
        std::uint8_t* planes[1] = {reinterpret_cast<std::uint8_t*>(out.samples.data())};
        const int made =
            swr_convert(s.resampler.get(), planes, capacity,
                        const_cast<const std::uint8_t**>(f->extended_data), f->nb_samples);
        av_frame_unref(f);
        if (made < 0) {
            error_ = fromAVError(made);
            return std::nullopt;
        }
        if (made == 0) continue;
        out.samples.resize(static_cast<std::size_t>(made) * AudioSample::channels);
        out.time = MediaTime{s.nextSample, 1, AudioSample::rate};
        s.nextSample += made;
        return out;
    }
    return flushAudio();
}

std::optional<AudioSample> TrackReader::flushAudio() {
    State& s = *state_;
    // What the resampler still holds once the decoder has ended.
    if (error_ || !s.resampler || s.nextSample == AV_NOPTS_VALUE) return std::nullopt;
    const int capacity = swr_get_out_samples(s.resampler.get(), 0);
    if (capacity <= 0) return std::nullopt;
    AudioSample out;
    out.samples.resize(static_cast<std::size_t>(capacity) * AudioSample::channels);
    std::uint8_t* planes[1] = {reinterpret_cast<std::uint8_t*>(out.samples.data())};
    const int made = swr_convert(s.resampler.get(), planes, capacity, nullptr, 0);
    if (made <= 0) return std::nullopt;
    out.samples.resize(static_cast<std::size_t>(made) * AudioSample::channels);
    out.time = MediaTime{s.nextSample, 1, AudioSample::rate};
    s.nextSample += made;
    return out;
}

}  // namespace pelliqo
