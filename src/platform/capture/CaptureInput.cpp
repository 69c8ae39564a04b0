#include "platform/capture/CaptureInput.h"

#include <chrono>
#include <mutex>
#include <thread>

#include "platform/media/AVError.h"

extern "C" {
#include <libavdevice/avdevice.h>
}

namespace pelliqo {

namespace {

constexpr int maxSpoiltInARow = 15;
constexpr double spoiltReadsFor = 2.0;  // seconds

// Whether each picture is coded on its own (Motion-JPEG, raw).
bool codecIsIntraOnly(AVCodecID id) {
    const AVCodecDescriptor* codec = avcodec_descriptor_get(id);
    return codec != nullptr && (codec->props & AV_CODEC_PROP_INTRA_ONLY) != 0;
}

int interrupted(void* input) {
    return static_cast<CaptureInput*>(input)->running ? 0 : 1;
}

bool described(const AVFormatContext& format, AVMediaType kind) {
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const AVCodecParameters* p = format.streams[i]->codecpar;
        if (p->codec_type != kind || p->codec_id == AV_CODEC_ID_NONE) continue;
        if (kind == AVMEDIA_TYPE_VIDEO && p->width > 0 && p->height > 0) return true;
        if (kind == AVMEDIA_TYPE_AUDIO && p->sample_rate > 0 && p->ch_layout.nb_channels > 0)
            return true;
    }
    return false;
}

Result<std::unique_ptr<CaptureInput>> openWith(const CaptureSource& source, AVMediaType kind,
                                               bool withOptions) {
    static std::once_flag once;
    std::call_once(once, [] { avdevice_register_all(); });
    const AVInputFormat* format = av_find_input_format(source.format.c_str());
    if (format == nullptr) return fromAVError(AVERROR_DEMUXER_NOT_FOUND);
    auto input = std::make_unique<CaptureInput>();
    AVDictionary* options = nullptr;
    if (withOptions) {
        for (const auto& [key, value] : source.options)
            av_dict_set(&options, key.c_str(), value.c_str(), 0);
    }
    AVFormatContext* raw = avformat_alloc_context();
    raw->interrupt_callback = {&interrupted, input.get()};
    // A camera that sends nothing must not hold a read (and whoever waits to stop it)
    // forever: reads come back at once, and the reader waits a moment itself.
    raw->flags |= AVFMT_FLAG_NONBLOCK;
    // Reads are interrupted once running is cleared; while opening it stays set.
    input->running = true;
    const int e = avformat_open_input(&raw, source.url.c_str(), format, &options);
    av_dict_free(&options);
    if (e < 0) return fromAVError(e);
    input->format.reset(raw);
    // Devices describe their streams when opened. Probing further reads frames, and a
    // camera that sends none would hold the caller until it does.
    if (!described(*raw, kind)) {
        const int found = avformat_find_stream_info(raw, nullptr);
        if (found < 0) return fromAVError(found);
    }
    input->running = false;
    input->streamIndex = av_find_best_stream(raw, kind, -1, -1, nullptr, 0);
    if (input->streamIndex < 0) return fromAVError(input->streamIndex);
    const AVCodecParameters* p = input->parameters();
    const AVCodec* codec = avcodec_find_decoder(p->codec_id);
    if (codec == nullptr) return fromAVError(AVERROR_DECODER_NOT_FOUND);
    input->decoder.reset(avcodec_alloc_context3(codec));
    // Slices in parallel where the decoder can: frame threads would hold pictures back.
    input->decoder->thread_count = 0;
    input->decoder->thread_type = FF_THREAD_SLICE;
    // A camera's Motion-JPEG picture cut short on the USB bus decodes into grey or torn
    // blocks; refused, it is left out and the picture before it stays on screen.
    if (codecIsIntraOnly(p->codec_id)) input->decoder->err_recognition |= AV_EF_EXPLODE;
    if (avcodec_parameters_to_context(input->decoder.get(), p) < 0 ||
        avcodec_open2(input->decoder.get(), codec, nullptr) < 0) {
        return fromAVError(AVERROR_DECODER_NOT_FOUND);
    }
    return input;
}

}  // namespace

double captureClock() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

Result<std::unique_ptr<CaptureInput>> CaptureInput::open(const CaptureSource& source,
                                                         AVMediaType kind) {
    auto input = openWith(source, kind, true);
    if (!input && !source.options.empty()) input = openWith(source, kind, false);
    return input;
}

const AVCodecParameters* CaptureInput::parameters() const {
    return format->streams[streamIndex]->codecpar;
}

double CaptureInput::frameRate() const {
    const AVStream* stream = format->streams[streamIndex];
    for (const AVRational rate : {stream->avg_frame_rate, stream->r_frame_rate})
        if (rate.num > 0 && rate.den > 0) return av_q2d(rate);
    // Inputs that count time in frames (FFmpeg's test pictures) say their rate that way.
    const AVRational step = stream->time_base;
    if (step.num == 1 && step.den > 0 && step.den <= 240) return step.den;
    return 0;
}

void CaptureInput::readFrames(const std::function<void(AVFrame*, double)>& onFrame,
                              const std::function<void(const PlatformError&)>& onError,
                              const std::function<bool()>& busy) {
    using std::chrono::milliseconds;
    ff::Packet packet(av_packet_alloc());
    ff::Packet held(av_packet_alloc());
    double heldArrived = 0;
    ff::Frame frame(av_frame_alloc());
    const bool intraOnly = codecIsIntraOnly(decoder->codec_id);
    // Raw pictures cost nothing to decode: they are handed over for the consumer to hold.
    const bool holdsUndecoded = intraOnly && decoder->codec_id != AV_CODEC_ID_RAWVIDEO;
    bool caughtUp = true;
    double lastRead = captureClock();
    int spoiltInARow = 0;
    const auto isBusy = [&] { return busy && busy(); };
    const auto decode = [&](AVPacket* coded, double arrived) {
        int e = avcodec_send_packet(decoder.get(), coded);
        while (e == 0 && (e = avcodec_receive_frame(decoder.get(), frame.get())) == 0) {
            spoiltInARow = 0;
            if (caughtUp) onFrame(frame.get(), arrived);
            av_frame_unref(frame.get());
        }
        // A camera whose every picture is a little off is shown as it is, not left dark.
        if (e != AVERROR(EAGAIN) && ++spoiltInARow == maxSpoiltInARow)
            decoder->err_recognition &= ~AV_EF_EXPLODE;
        av_packet_unref(coded);
    };
    while (running) {
        if (paused) {
            caughtUp = false;
            av_packet_unref(held.get());
            std::this_thread::sleep_for(milliseconds(10));
            continue;
        }
        if (held->size > 0 && !isBusy()) decode(held.get(), heldArrived);
        const double asked = captureClock();
        const int e = av_read_frame(format.get(), packet.get());
        if (e == AVERROR(EAGAIN)) {
            // Reads do not block; nothing has come yet.
            caughtUp = true;
            std::this_thread::sleep_for(milliseconds(2));
            continue;
        }
        // A device spoils a picture now and then (a USB transfer cut short): only a run of
        // them with nothing whole between ends the capture.
        if (e == AVERROR_INVALIDDATA && captureClock() - lastRead < spoiltReadsFor) continue;
        if (e < 0) {
            if (running && onError) onError(fromAVError(e));
            return;
        }
        const double arrived = captureClock();
        lastRead = arrived;
        // A read that had to wait for its picture brought one taken just now.
        if (arrived - asked >= 0.005) caughtUp = true;
        if (packet->stream_index != streamIndex || (intraOnly && !caughtUp)) {
            av_packet_unref(packet.get());
        } else if (holdsUndecoded && isBusy()) {
            // Kept undecoded until the consumer is free; a newer picture replaces it.
            av_packet_unref(held.get());
            av_packet_move_ref(held.get(), packet.get());
            heldArrived = arrived;
        } else {
            av_packet_unref(held.get());
            decode(packet.get(), arrived);
        }
    }
}

}  // namespace pelliqo
