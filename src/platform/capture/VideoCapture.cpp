#include "platform/capture/VideoCapture.h"

#include <atomic>
#include <thread>

#include "platform/capture/V4l2Node.h"
#include "platform/image/PixelBufferPool.h"
#include "platform/media/AVError.h"

namespace pelliqo {

CaptureSource cameraSource(const std::string& device) {
    // Asked for a size alone, FFmpeg takes the first raw format that has it, however slow
    // (USB webcams give raw 720p at 10 frames a second or less): the mode is chosen here.
    const auto choice = chooseCameraMode(cameraModes(device), 1280, 720, 30);
    if (!choice) return CaptureSource{"video4linux2", device, {{"video_size", "1280x720"}}};
    return CaptureSource{"video4linux2", device, captureOptions(*choice)};
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
double VideoCapture::frameRate() const {
    return state_->input->frameRate();
}

void VideoCapture::setPaused(bool paused) {
    state_->input->paused = paused;
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
    // Late frames are dropped: the previous one is still being processed.
    input->readFrames(
        [&](AVFrame* frame, double arrived) {
            if (!pending) deliver(frame, arrived, queue, onFrame, self);
        },
        onError, [this] { return pending.load(); });
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
