#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pelliqo {

// Tells when capture devices come or go: watches folders of device nodes (inotify) and
// calls back, on a thread of its own, whenever a node whose name starts with one of the
// prefixes appears, disappears or changes its permissions.
class DeviceWatcher {
  public:
    struct Watch {
        std::filesystem::path folder;
        std::vector<std::string> prefixes;
    };

    // /dev for cameras (video*), /dev/snd for sound cards (pcm*).
    static std::vector<Watch> deviceNodes();

    // Nothing is watched when inotify is not available; no error is raised for it.
    DeviceWatcher(std::vector<Watch> watches, std::function<void()> changed);
    ~DeviceWatcher();
    DeviceWatcher(const DeviceWatcher&) = delete;
    DeviceWatcher& operator=(const DeviceWatcher&) = delete;

    struct State;

  private:
    std::unique_ptr<State> state_;
};

}  // namespace pelliqo
