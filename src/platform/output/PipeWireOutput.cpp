#include "platform/output/PipeWireOutput.h"

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/output/Yuyv.h"

namespace pelliqo {

namespace {

constexpr std::string_view pipeWireDomain = "PipeWire";

PlatformError pipeWireError(int code, std::string description) {
    return PlatformError{std::string(pipeWireDomain), code, std::move(description), {}, nullptr};
}

void initialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

}  // namespace

// Everything PipeWire owns lives on its own loop thread; calls from outside take the loop's
// lock, and the stream's callbacks run with it held.
struct PipeWireOutput::State {
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    spa_hook coreListener{};
    pw_stream* stream = nullptr;
    spa_hook streamListener{};
    // What the loop's callbacks share with the caller's thread, under our own lock as well:
    // the loop's lock is PipeWire's, which the thread checker cannot see.
    std::mutex guard;
    int width = 0;
    int height = 0;
    std::optional<spa_video_format> format;  // as negotiated with the application
    std::optional<PlatformError> failure;

    class Lock {
      public:
        explicit Lock(pw_thread_loop* l) : loop_(l) { pw_thread_loop_lock(loop_); }
        ~Lock() { pw_thread_loop_unlock(loop_); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

      private:
        pw_thread_loop* loop_;
    };

    int stride() const { return format == SPA_VIDEO_FORMAT_YUY2 ? width * 2 : width * 4; }

    void destroyStream() {
        if (stream == nullptr) return;
        spa_hook_remove(&streamListener);
        pw_stream_destroy(stream);
        stream = nullptr;
        std::lock_guard shared(guard);
        format.reset();
    }

    void fail(int code, const char* message) {
        std::lock_guard shared(guard);
        failure = pipeWireError(code, message ? message : "");
    }

    static void onCoreError(void* data, std::uint32_t id, int, int res, const char* message) {
        if (id == PW_ID_CORE) static_cast<State*>(data)->fail(res, message);
    }

    static void onStateChanged(void* data, pw_stream_state, pw_stream_state state,
                               const char* error) {
        if (state == PW_STREAM_STATE_ERROR) static_cast<State*>(data)->fail(EIO, error);
    }

    static void onParamChanged(void* data, std::uint32_t id, const spa_pod* param) {
        auto* s = static_cast<State*>(data);
        if (param == nullptr || id != SPA_PARAM_Format) return;
        spa_video_info_raw info{};
        if (spa_format_video_raw_parse(param, &info) < 0) return;
        int size = 0, stride = 0;
        {
            std::lock_guard shared(s->guard);
            s->format = info.format;
            stride = s->stride();
            size = stride * s->height;
        }
        std::uint8_t storage[256];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(storage, sizeof(storage));
        const spa_pod* buffers = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
            SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
            SPA_PARAM_BUFFERS_size, SPA_POD_Int(size), SPA_PARAM_BUFFERS_stride,
            SPA_POD_Int(stride)));
        pw_stream_update_params(s->stream, &buffers, 1);
    }
};

namespace {

const pw_core_events coreEvents = [] {
    pw_core_events e{};
    e.version = PW_VERSION_CORE_EVENTS;
    e.error = PipeWireOutput::State::onCoreError;
    return e;
}();

const pw_stream_events streamEvents = [] {
    pw_stream_events e{};
    e.version = PW_VERSION_STREAM_EVENTS;
    e.state_changed = PipeWireOutput::State::onStateChanged;
    e.param_changed = PipeWireOutput::State::onParamChanged;
    return e;
}();

}  // namespace

PipeWireOutput::PipeWireOutput() : state_(std::make_unique<State>()) {
    initialiseOnce();
    State& s = *state_;
    s.loop = pw_thread_loop_new("pelliqo-camera", nullptr);
    if (s.loop == nullptr) return;
    s.context = pw_context_new(pw_thread_loop_get_loop(s.loop), nullptr, 0);
    if (s.context == nullptr || pw_thread_loop_start(s.loop) < 0) return;
    State::Lock lock(s.loop);
    s.core = pw_context_connect(s.context, nullptr, 0);
    if (s.core != nullptr) pw_core_add_listener(s.core, &s.coreListener, &coreEvents, &s);
}

PipeWireOutput::~PipeWireOutput() {
    State& s = *state_;
    if (s.loop != nullptr) {
        {
            State::Lock lock(s.loop);
            s.destroyStream();
            if (s.core != nullptr) {
                spa_hook_remove(&s.coreListener);
                pw_core_disconnect(s.core);
            }
        }
        pw_thread_loop_stop(s.loop);
    }
    if (s.context != nullptr) pw_context_destroy(s.context);
    if (s.loop != nullptr) pw_thread_loop_destroy(s.loop);
}

bool PipeWireOutput::available() {
    PipeWireOutput probe;
    return probe.state_->core != nullptr;
}

std::optional<PlatformError> PipeWireOutput::start(int width, int height, int framesPerSecond) {
    State& s = *state_;
    if (s.core == nullptr) return pipeWireError(ECONNREFUSED, "PipeWire is not running.");
    if (width <= 0 || height <= 0 || width % 2 != 0) return PlatformError::posix(EINVAL);
    State::Lock lock(s.loop);
    s.destroyStream();
    {
        std::lock_guard shared(s.guard);
        if (s.failure) return s.failure;
        s.width = width;
        s.height = height;
    }
    s.stream =
        pw_stream_new(s.core, cameraOutputName,
                      pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", PW_KEY_MEDIA_ROLE,
                                        "Camera", PW_KEY_NODE_NAME, "pelliqo-camera",
                                        PW_KEY_NODE_DESCRIPTION, cameraOutputName, nullptr));
    if (s.stream == nullptr) return PlatformError::posix(errno);
    pw_stream_add_listener(s.stream, &s.streamListener, &streamEvents, &s);
    std::uint8_t storage[512];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(storage, sizeof(storage));
    const spa_rectangle size =
        SPA_RECTANGLE(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
    const spa_fraction rate =
        SPA_FRACTION(static_cast<std::uint32_t>(std::max(framesPerSecond, 1)), 1);
    const spa_pod* formats = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(3, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,
                               SPA_VIDEO_FORMAT_YUY2),
        SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate,
        SPA_POD_Fraction(&rate)));
    const int result = pw_stream_connect(
        s.stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS), &formats,
        1);
    if (result < 0) {
        s.destroyStream();
        return PlatformError::posix(-result);
    }
    return std::nullopt;
}

std::optional<PlatformError> PipeWireOutput::publish(const PixelBuffer& frame) {
    State& s = *state_;
    if (s.loop == nullptr || frame.format() != PixelFormat::bgra8)
        return PlatformError::posix(EINVAL);
    State::Lock lock(s.loop);
    std::optional<spa_video_format> format;
    int stride = 0, height = 0;
    {
        std::lock_guard shared(s.guard);
        if (s.failure) return s.failure;
        if (s.stream == nullptr || frame.width() != s.width || frame.height() != s.height)
            return PlatformError::posix(EINVAL);
        format = s.format;
        stride = s.stride();
        height = s.height;
    }
    // Until an application takes the camera there is no format and nowhere to put a frame.
    if (!format || pw_stream_get_state(s.stream, nullptr) != PW_STREAM_STATE_STREAMING)
        return std::nullopt;
    pw_buffer* buffer = pw_stream_dequeue_buffer(s.stream);
    if (buffer == nullptr) return std::nullopt;  // the application is behind: drop this one
    spa_data& d = buffer->buffer->datas[0];
    auto* out = static_cast<std::uint8_t*>(d.data);
    const auto bytes = static_cast<std::uint32_t>(stride * height);
    if (out != nullptr && d.maxsize >= bytes) {
        if (format == SPA_VIDEO_FORMAT_YUY2) {
            convertToYuyv(frame, out, stride);
        } else {
            for (int y = 0; y < height; ++y)
                std::memcpy(out + static_cast<std::size_t>(y) * stride, frame.row(y),
                            static_cast<std::size_t>(stride));
        }
        d.chunk->offset = 0;
        d.chunk->stride = stride;
        d.chunk->size = bytes;
    }
    pw_stream_queue_buffer(s.stream, buffer);
    return std::nullopt;
}

bool PipeWireOutput::hasReader() const {
    State& s = *state_;
    if (s.loop == nullptr) return false;
    State::Lock lock(s.loop);
    if (s.stream == nullptr) return false;
    {
        std::lock_guard shared(s.guard);
        if (s.failure) return true;  // the next publish reports it
        if (!s.format) return false;
    }
    return pw_stream_get_state(s.stream, nullptr) == PW_STREAM_STATE_STREAMING;
}

void PipeWireOutput::stop() {
    State& s = *state_;
    if (s.loop == nullptr) return;
    State::Lock lock(s.loop);
    s.destroyStream();
}

}  // namespace pelliqo
