#pragma once

#include <QTemporaryDir>
#include <chrono>
#include <functional>
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

// An application watching our PipeWire camera, GStreamer's PipeWire source: once the camera is
// listed, it asks for frames of this format ("BGRx" or "YUY2") and size at whatever rate the
// camera offers; one frame, or every frame until the watcher goes.
class CameraWatcher {
  public:
    CameraWatcher(std::string format, int width, int height, bool keepWatching = false);
    ~CameraWatcher();
    CameraWatcher(const CameraWatcher&) = delete;
    CameraWatcher& operator=(const CameraWatcher&) = delete;

    struct Watched {
        std::string frame;  // empty when none came in time
        double rate = 0;
    };
    // The one frame; meanwhile runs between looks.
    Watched result(std::chrono::seconds timeout, const std::function<void()>& meanwhile);
    bool sawAFrame();

  private:
    bool started();
    std::string file(const char* name) const { return dir_.filePath(name).toStdString(); }

    std::vector<std::string> argv_;
    QTemporaryDir dir_;
    int pid_ = -1;
    bool ended_ = false;
};

}  // namespace pelliqo::test
