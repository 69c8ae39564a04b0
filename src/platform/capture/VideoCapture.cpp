#include "platform/capture/VideoCapture.h"

#include <mutex>
#include <optional>
#include <thread>
#include <utility>

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
    std::thread reader;

    // A frame is on the delivery queue or being handled there; the newest one that came
    // meanwhile is held and handed over as soon as the consumer is done, so that a consumer
    // slower than the camera takes frames back to back rather than waiting for the next one.
    struct Held {
        PixelBuffer frame;
        double seconds = 0;
    };
    std::mutex lock;
    bool busy = false;
    std::optional<Held> held;

    bool isBusy() {
        std::lock_guard guard(lock);
        return busy;
    }
    void read(SerialQueue& queue, const FrameHandler& onFrame, const ErrorHandler& onError,
              const std::shared_ptr<State>& self);
    void take(AVFrame* frame, double seconds, SerialQueue& queue, const FrameHandler& onFrame,
              const std::shared_ptr<State>& self);
    // Delivers the frame on the queue (the lock held, busy set), then the one held meanwhile.
    void handOver(Held frame, SerialQueue& queue, const FrameHandler& onFrame,
                  const std::shared_ptr<State>& self);
    std::optional<PixelBuffer> converted(AVFrame* frame);
    void dropHeld() {
        std::lock_guard guard(lock);
        held.reset();
    }
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
    if (paused) state_->dropHeld();
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
    state_->dropHeld();
}

void VideoCapture::State::read(SerialQueue& queue, const FrameHandler& onFrame,
                               const ErrorHandler& onError, const std::shared_ptr<State>& self) {
    input->readFrames(
        [&](AVFrame* frame, double arrived) { take(frame, arrived, queue, onFrame, self); },
        onError, [this] { return isBusy(); });
}

void VideoCapture::State::take(AVFrame* frame, double seconds, SerialQueue& queue,
                               const FrameHandler& onFrame, const std::shared_ptr<State>& self) {
    auto buffer = converted(frame);
    if (!buffer) return;
    std::lock_guard guard(lock);
    if (busy) {
        held = Held{std::move(*buffer), seconds};  // an older one held is dropped
        return;
    }
    busy = true;
    handOver(Held{std::move(*buffer), seconds}, queue, onFrame, self);
}

void VideoCapture::State::handOver(Held frame, SerialQueue& queue, const FrameHandler& onFrame,
                                   const std::shared_ptr<State>& self) {
    // The frame held meanwhile follows as a task of its own, so that others on the queue
    // are not held up by a camera that keeps it busy.
    queue.async([self, &queue, onFrame, frame = std::move(frame)] {
        onFrame(frame.frame, frame.seconds);
        std::lock_guard guard(self->lock);
        if (auto later = std::exchange(self->held, std::nullopt)) {
            self->handOver(std::move(*later), queue, onFrame, self);
        } else {
            self->busy = false;
        }
    });
}

std::optional<PixelBuffer> VideoCapture::State::converted(AVFrame* frame) {
    auto buffer = pool->makeBuffer();
    scaler.reset(sws_getCachedContext(
        scaler.release(), frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
        pool->width(), pool->height(), AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!buffer || !scaler) return std::nullopt;
    std::uint8_t* planes[4] = {buffer->data(), nullptr, nullptr, nullptr};
    const int strides[4] = {static_cast<int>(buffer->bytesPerRow()), 0, 0, 0};
    sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes, strides);
    return buffer;
}

}  // namespace pelliqo
