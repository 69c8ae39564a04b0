#include "platform/capture/DeviceWatcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <map>
#include <thread>

namespace pelliqo {

struct DeviceWatcher::State {
    int inotify = -1;
    int wake = -1;                                     // an eventfd that ends the thread
    std::map<int, std::vector<std::string>> prefixes;  // by watch descriptor
    std::function<void()> changed;
    std::thread thread;

    ~State() {
        if (thread.joinable()) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const auto written = ::write(wake, &one, sizeof one);
            thread.join();
        }
        if (inotify >= 0) ::close(inotify);
        if (wake >= 0) ::close(wake);
    }

    bool matches(const inotify_event& e) const {
        const auto found = prefixes.find(e.wd);
        if (found == prefixes.end() || e.len == 0) return false;
        const std::string name = e.name;
        for (const std::string& p : found->second)
            if (name.rfind(p, 0) == 0) return true;
        return false;
    }

    void run() {
        std::array<pollfd, 2> fds{{{inotify, POLLIN, 0}, {wake, POLLIN, 0}}};
        alignas(inotify_event) std::array<char, 4096> buffer{};
        for (;;) {
            if (::poll(fds.data(), fds.size(), -1) < 0) continue;
            if (fds[1].revents != 0) return;
            const ssize_t n = ::read(inotify, buffer.data(), buffer.size());
            if (n <= 0) continue;
            bool relevant = false;
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buffer.data() + at);
                relevant = relevant || matches(*e);
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            }
            if (relevant) changed();
        }
    }
};

std::vector<DeviceWatcher::Watch> DeviceWatcher::deviceNodes() {
    return {{"/dev", {"video"}}, {"/dev/snd", {"pcm"}}};
}

DeviceWatcher::DeviceWatcher(std::vector<Watch> watches, std::function<void()> changed)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.changed = std::move(changed);
    s.inotify = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    s.wake = eventfd(0, EFD_CLOEXEC);
    if (s.inotify < 0 || s.wake < 0) return;
    for (Watch& w : watches) {
        const int wd =
            inotify_add_watch(s.inotify, w.folder.c_str(),
                              IN_CREATE | IN_DELETE | IN_ATTRIB | IN_MOVED_TO | IN_MOVED_FROM);
        if (wd >= 0) s.prefixes[wd] = std::move(w.prefixes);
    }
    if (s.prefixes.empty()) return;
    s.thread = std::thread([&s] { s.run(); });
}

DeviceWatcher::~DeviceWatcher() = default;

}  // namespace pelliqo
