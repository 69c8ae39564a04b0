#include "PipeWireServer.h"

#include <chrono>
#include <thread>

namespace pelliqo::test {

PipeWireServer::PipeWireServer() {
    const std::string runtime = dir_.path().toStdString();
    const std::string busSocket = runtime + "/bus";
    const std::string bus = "unix:path=" + busSocket;
    const Environment environment{{"XDG_RUNTIME_DIR", runtime},
                                  {"PIPEWIRE_RUNTIME_DIR", runtime},
                                  {"HOME", runtime},
                                  {"DBUS_SESSION_BUS_ADDRESS", bus}};
    pids_.push_back(spawnQuietly(
        {"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + bus}, environment));
    if (!waitForFile(busSocket, pids_.back())) return;
    pids_.push_back(spawnQuietly({"pipewire"}, environment));
    if (!waitForFile(runtime + "/pipewire-0", pids_.back())) return;
    pids_.push_back(spawnQuietly({"wireplumber"}, environment));
    // The session manager links streams once it has looked at the graph.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    if (hasEnded(pids_.back())) return;
    runtimeDir_.emplace("PIPEWIRE_RUNTIME_DIR", runtime);
    running_ = true;
}

PipeWireServer::~PipeWireServer() {
    runtimeDir_.reset();
    for (auto it = pids_.rbegin(); it != pids_.rend(); ++it) stopProcess(*it);
}

}  // namespace pelliqo::test
