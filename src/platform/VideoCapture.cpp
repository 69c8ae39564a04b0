#include "platform/VideoCapture.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/AVError.h"
#include "platform/PixelBufferPool.h"

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
    std::unique_ptr<CaptureInput> input;
    ff::Scaler scaler;
    std::shared_ptr<PixelBufferPool> pool;
    std::atomic<bool> pending{false};  // a frame waits on the delivery queue
    std::thread reader;

    void read(SerialQueue& queue, const FrameHandler& onFrame, const ErrorHandler& onError,
              const std::shared_ptr<State>& self);
    void deliver(AVFrame* frame, double seconds, SerialQueue& queue, const FrameHandler& onFrame,
                 const std::shared_ptr<State>& self);
};

Result<std::unique_ptr<VideoCapture>> VideoCapture::open(const CaptureSource& source) {
    auto input = CaptureInput::open(source, AVMEDIA_TYPE_VIDEO);
    if (!input) return input.error();
    auto state = std::make_shared<State>();
    state->input = std::move(input).value();
    const AVCodecParameters* p = state->input->parameters();
    state->pool = PixelBufferPool::create(p->width, p->height, PixelFormat::bgra8);
    if (!state->pool) return fromAVError(AVERROR_INVALIDDATA);
    return std::unique_ptr<VideoCapture>(new VideoCapture(std::move(state)));
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
    state_->input->running = true;
    state_->reader = std::thread(
        [state = state_, &queue, onFrame = std::move(onFrame), onError = std::move(onError)] {
            state->read(queue, onFrame, onError, state);
        });
}

void VideoCapture::stop() {
    state_->input->running = false;
    if (state_->reader.joinable()) state_->reader.join();
}

void VideoCapture::State::read(SerialQueue& queue, const FrameHandler& onFrame,
                               const ErrorHandler& onError, const std::shared_ptr<State>& self) {
    ff::Packet packet(av_packet_alloc());
    ff::Frame frame(av_frame_alloc());
    AVCodecContext* decoder = input->decoder.get();
    while (input->running) {
        const int e = av_read_frame(input->format.get(), packet.get());
        if (e == AVERROR(EAGAIN)) {
            CaptureInput::waitForData();
            continue;
        }
        if (e < 0) {
            if (input->running && onError) onError(fromAVError(e));
            return;
        }
        const double seconds = captureClock();
        if (packet->stream_index == input->streamIndex &&
            avcodec_send_packet(decoder, packet.get()) == 0) {
            while (avcodec_receive_frame(decoder, frame.get()) == 0) {
                // Late frames are dropped: the previous one is still being processed.
                if (!pending) deliver(frame.get(), seconds, queue, onFrame, self);
                av_frame_unref(frame.get());
            }
        }
        av_packet_unref(packet.get());
    }
}

void VideoCapture::State::deliver(AVFrame* frame, double seconds, SerialQueue& queue,
                                  const FrameHandler& onFrame, const std::shared_ptr<State>& self) {
    auto buffer = pool->makeBuffer();
    scaler.reset(sws_getCachedContext(
        scaler.release(), frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
        pool->width(), pool->height(), AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!buffer || !scaler) return;
    std::uint8_t* planes[4] = {buffer->data(), nullptr, nullptr, nullptr};
    const int strides[4] = {static_cast<int>(buffer->bytesPerRow()), 0, 0, 0};
    sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes, strides);
    pending = true;
    queue.async([self, onFrame, frameBuffer = *buffer, seconds] {
        onFrame(frameBuffer, seconds);
        self->pending = false;
    });
}

}  // namespace pelliqo
