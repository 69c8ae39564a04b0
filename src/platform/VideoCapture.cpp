#include "platform/VideoCapture.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/AVError.h"
#include "platform/FFmpeg.h"
#include "platform/PixelBufferPool.h"

extern "C" {
#include <libavdevice/avdevice.h>
}

namespace pelliqo {

double captureClock() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

CaptureSource cameraSource(const std::string& device) {
    return CaptureSource{"video4linux2", device, {{"video_size", "1280x720"}}};
}

CaptureSource testCameraSource() {
    return CaptureSource{"lavfi", "testsrc2=size=1280x720:rate=30,realtime", {}};
}

struct VideoCapture::State {
    ff::InputFormat format;
    ff::CodecContext decoder;
    int streamIndex = -1;
    ff::Scaler scaler;
    std::shared_ptr<PixelBufferPool> pool;
    std::atomic<bool> running{false};
    std::atomic<bool> pending{false};  // a frame waits on the delivery queue
    std::thread reader;

    static int interrupted(void* self) { return static_cast<State*>(self)->running ? 0 : 1; }

    void read(SerialQueue& queue, const FrameHandler& onFrame, const ErrorHandler& onError,
              const std::shared_ptr<State>& self);
};

namespace {

Result<std::shared_ptr<VideoCapture::State>> openSource(const CaptureSource& source,
                                                        bool withOptions) {
    static std::once_flag once;
    std::call_once(once, [] { avdevice_register_all(); });
    const AVInputFormat* format = av_find_input_format(source.format.c_str());
    if (format == nullptr) return fromAVError(AVERROR_DEMUXER_NOT_FOUND);
    auto state = std::make_shared<VideoCapture::State>();
    AVDictionary* options = nullptr;
    if (withOptions) {
        for (const auto& [key, value] : source.options)
            av_dict_set(&options, key.c_str(), value.c_str(), 0);
    }
    AVFormatContext* raw = avformat_alloc_context();
    raw->interrupt_callback = {&VideoCapture::State::interrupted, state.get()};
    // Reads are interrupted once running is cleared; while opening it stays set.
    state->running = true;
    const int e = avformat_open_input(&raw, source.url.c_str(), format, &options);
    av_dict_free(&options);
    if (e < 0) return fromAVError(e);
    state->format.reset(raw);
    const int found = avformat_find_stream_info(raw, nullptr);
    state->running = false;
    if (found < 0) return fromAVError(found);
    state->streamIndex = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (state->streamIndex < 0) return fromAVError(state->streamIndex);
    const AVCodecParameters* p = raw->streams[state->streamIndex]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(p->codec_id);
    if (codec == nullptr) return fromAVError(AVERROR_DECODER_NOT_FOUND);
    state->decoder.reset(avcodec_alloc_context3(codec));
    if (avcodec_parameters_to_context(state->decoder.get(), p) < 0 ||
        avcodec_open2(state->decoder.get(), codec, nullptr) < 0) {
        return fromAVError(AVERROR_DECODER_NOT_FOUND);
    }
    state->pool = PixelBufferPool::create(p->width, p->height, PixelFormat::bgra8);
    if (!state->pool) return fromAVError(AVERROR_INVALIDDATA);
    return state;
}

}  // namespace

Result<std::unique_ptr<VideoCapture>> VideoCapture::open(const CaptureSource& source) {
    // A camera that does not offer the size asked for is opened at its own.
    auto state = openSource(source, true);
    if (!state && !source.options.empty()) state = openSource(source, false);
    if (!state) return state.error();
    return std::unique_ptr<VideoCapture>(new VideoCapture(std::move(state).value()));
}

VideoCapture::~VideoCapture() {
    stop();
}

int VideoCapture::width() const {
    return state_->pool->width();
}
int VideoCapture::height() const {
    return state_->pool->height();
}

void VideoCapture::start(SerialQueue& queue, FrameHandler onFrame, ErrorHandler onError) {
    stop();
    state_->running = true;
    state_->reader = std::thread(
        [state = state_, &queue, onFrame = std::move(onFrame), onError = std::move(onError)] {
            state->read(queue, onFrame, onError, state);
        });
}

void VideoCapture::stop() {
    state_->running = false;
    if (state_->reader.joinable()) state_->reader.join();
}

void VideoCapture::State::read(SerialQueue& queue, const FrameHandler& onFrame,
                               const ErrorHandler& onError, const std::shared_ptr<State>& self) {
    ff::Packet packet(av_packet_alloc());
    ff::Frame frame(av_frame_alloc());
    while (running) {
        const int e = av_read_frame(format.get(), packet.get());
        if (e == AVERROR(EAGAIN)) continue;
        if (e < 0) {
            if (running && onError) onError(fromAVError(e));
            return;
        }
        const double seconds = captureClock();
        if (packet->stream_index == streamIndex &&
            avcodec_send_packet(decoder.get(), packet.get()) == 0) {
            while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
                // Late frames are dropped: the previous one is still being processed.
                if (pending) {
                    av_frame_unref(frame.get());
                    continue;
                }
                auto buffer = pool->makeBuffer();
                scaler.reset(sws_getCachedContext(scaler.release(), frame->width, frame->height,
                                                  static_cast<AVPixelFormat>(frame->format),
                                                  pool->width(), pool->height(), AV_PIX_FMT_BGRA,
                                                  SWS_BILINEAR, nullptr, nullptr, nullptr));
                if (buffer && scaler) {
                    std::uint8_t* planes[4] = {buffer->data(), nullptr, nullptr, nullptr};
                    const int strides[4] = {static_cast<int>(buffer->bytesPerRow()), 0, 0, 0};
                    sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes,
                              strides);
                    pending = true;
                    queue.async([self, onFrame, frameBuffer = *buffer, seconds] {
                        onFrame(frameBuffer, seconds);
                        self->pending = false;
                    });
                }
                av_frame_unref(frame.get());
            }
        }
        av_packet_unref(packet.get());
    }
}

}  // namespace pelliqo
