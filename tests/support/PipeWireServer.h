#pragma once

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>

#include <QTemporaryDir>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Processes.h"

namespace pelliqo::test {

// A private PipeWire, D-Bus and session manager, which this process's clients use.
class PipeWireServer {
  public:
    PipeWireServer();

    bool running() const { return running_; }

  private:
    Daemons daemons_;
    bool running_ = false;
    std::optional<ScopedEnvironment> runtimeDir_;
};

// As on a machine without PipeWire.
class NoPipeWire {
  private:
    QTemporaryDir empty_;
    ScopedEnvironment runtimeDir_{"PIPEWIRE_RUNTIME_DIR", empty_.path().toStdString()};
};

// An application watching our PipeWire camera, at whatever rate it offers.
class CameraViewer {
  public:
    CameraViewer(spa_video_format format, int width, int height) : format_(format) {
        pw_init(nullptr, nullptr);
        loop_ = pw_thread_loop_new("viewer", nullptr);
        context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
        pw_thread_loop_start(loop_);
        pw_thread_loop_lock(loop_);
        core_ = pw_context_connect(context_, nullptr, 0);
        if (core_ != nullptr) connect(width, height);
        pw_thread_loop_unlock(loop_);
    }
    ~CameraViewer() {
        pw_thread_loop_lock(loop_);
        if (stream_ != nullptr) pw_stream_destroy(stream_);
        if (core_ != nullptr) pw_core_disconnect(core_);
        pw_thread_loop_unlock(loop_);
        pw_thread_loop_stop(loop_);
        pw_context_destroy(context_);
        pw_thread_loop_destroy(loop_);
    }
    CameraViewer(const CameraViewer&) = delete;
    CameraViewer& operator=(const CameraViewer&) = delete;

    // The first frame's bytes, row after row without padding; empty if none came in time.
    std::vector<std::uint8_t> firstFrame(std::chrono::milliseconds timeout,
                                         const std::function<void()>& meanwhile) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        std::unique_lock lock(mutex_);
        while (frame_.empty() && std::chrono::steady_clock::now() < end) {
            lock.unlock();
            meanwhile();
            lock.lock();
            arrived_.wait_for(lock, std::chrono::milliseconds(20));
        }
        return frame_;
    }
    double rate() {
        std::lock_guard lock(mutex_);
        return rate_;
    }

  private:
    void connect(int width, int height) {
        stream_ = pw_stream_new(core_, "viewer",
                                pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                                  "Capture", PW_KEY_MEDIA_ROLE, "Camera",
                                                  PW_KEY_TARGET_OBJECT, "pelliqo-camera", nullptr));
        static const pw_stream_events events = [] {
            pw_stream_events e{};
            e.version = PW_VERSION_STREAM_EVENTS;
            e.process = [](void* data) { static_cast<CameraViewer*>(data)->take(); };
            e.param_changed = [](void* data, std::uint32_t id, const spa_pod* param) {
                spa_video_info_raw info{};
                if (id != SPA_PARAM_Format || param == nullptr ||
                    spa_format_video_raw_parse(param, &info) < 0 || info.framerate.denom == 0)
                    return;
                auto* viewer = static_cast<CameraViewer*>(data);
                std::lock_guard lock(viewer->mutex_);
                viewer->rate_ = double(info.framerate.num) / info.framerate.denom;
            };
            return e;
        }();
        pw_stream_add_listener(stream_, &listener_, &events, this);
        std::uint8_t storage[512];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(storage, sizeof(storage));
        const spa_rectangle size =
            SPA_RECTANGLE(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
        const spa_fraction rate = SPA_FRACTION(30, 1), slowest = SPA_FRACTION(1, 1),
                           fastest = SPA_FRACTION(120, 1);
        const auto* params = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
            SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
            SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format, SPA_POD_Id(format_),
            SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate,
            SPA_POD_CHOICE_RANGE_Fraction(&rate, &slowest, &fastest)));
        rowBytes_ = width * (format_ == SPA_VIDEO_FORMAT_YUY2 ? 2 : 4);
        height_ = height;
        pw_stream_connect(
            stream_, PW_DIRECTION_INPUT, PW_ID_ANY,
            static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
            &params, 1);
    }

    void take() {
        pw_buffer* buffer = pw_stream_dequeue_buffer(stream_);
        if (buffer == nullptr) return;
        const spa_data& d = buffer->buffer->datas[0];
        std::lock_guard lock(mutex_);
        if (frame_.empty() && d.data != nullptr && d.chunk->size > 0) {
            const auto* in = static_cast<const std::uint8_t*>(d.data) + d.chunk->offset;
            for (int y = 0; y < height_; ++y) {
                const auto* row = in + static_cast<std::ptrdiff_t>(y) * d.chunk->stride;
                frame_.insert(frame_.end(), row, row + rowBytes_);
            }
            arrived_.notify_all();
        }
        pw_stream_queue_buffer(stream_, buffer);
    }

    spa_video_format format_;
    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_stream* stream_ = nullptr;
    spa_hook listener_{};
    int rowBytes_ = 0;
    int height_ = 0;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::uint8_t> frame_;
    double rate_ = 0;
};

}  // namespace pelliqo::test
