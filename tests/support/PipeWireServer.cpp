#include "PipeWireServer.h"

#include <signal.h>
#include <sys/wait.h>

#include <thread>

#include "Damage.h"

namespace pelliqo::test {

PipeWireServer::PipeWireServer() {
    const std::string runtime = daemons_.folder();
    const std::string bus = "unix:path=" + runtime + "/bus";
    const Environment environment{{"XDG_RUNTIME_DIR", runtime},
                                  {"PIPEWIRE_RUNTIME_DIR", runtime},
                                  {"HOME", runtime},
                                  {"DBUS_SESSION_BUS_ADDRESS", bus}};
    // The session manager links streams once it has looked at the graph.
    running_ =
        daemons_.start({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + bus},
                       environment, "bus") &&
        daemons_.start({"pipewire"}, environment, "pipewire-0") &&
        daemons_.start({"wireplumber"}, environment, "", std::chrono::milliseconds(500));
    if (running_) runtimeDir_.emplace("PIPEWIRE_RUNTIME_DIR", runtime);
}

CameraWatcher::CameraWatcher(std::string format, int width, int height, bool keepWatching)
    : argv_{"gst-launch-1.0", "-v", "pipewiresrc", "target-object=pelliqo-camera"} {
    if (!keepWatching) argv_.push_back("num-buffers=1");
    argv_.insert(argv_.end(), {"!",
                               "video/x-raw,format=" + format + ",width=" + std::to_string(width) +
                                   ",height=" + std::to_string(height),
                               "!"});
    // Verbose, a fake sink says so of every frame it takes.
    if (keepWatching) {
        argv_.insert(argv_.end(), {"fakesink", "silent=false"});
    } else {
        argv_.insert(argv_.end(), {"filesink", "location=" + file("frame")});
    }
}

CameraWatcher::~CameraWatcher() {
    if (pid_ <= 0 || ended_) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

// Started once the camera is listed: a stream asking for a camera not yet there may never be
// linked to it.
bool CameraWatcher::started() {
    if (pid_ > 0) return true;
    const ProgramRun nodes =
        runWithin({"pw-cli", "ls", "Node"}, std::chrono::seconds(5), file("nodes"));
    if (nodes.output.find("node.name = \"pelliqo-camera\"") == std::string::npos) return false;
    pid_ = spawnProgram(argv_, file("log"));
    return pid_ > 0;
}

bool CameraWatcher::sawAFrame() {
    return started() && (!bytesOf(file("frame")).empty() ||
                         bytesOf(file("log")).find("chain") != std::string::npos);
}

CameraWatcher::Watched CameraWatcher::result(std::chrono::seconds timeout,
                                             const std::function<void()>& meanwhile) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!ended_ && std::chrono::steady_clock::now() < end) {
        ended_ = started() && waitpid(pid_, nullptr, WNOHANG) == pid_;
        meanwhile();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Watched watched{bytesOf(file("frame"))};
    const std::string said = bytesOf(file("log")), rate = "framerate=(fraction)";
    if (const auto at = said.find(rate); at != std::string::npos) {
        double num = 0, den = 0;
        if (std::sscanf(said.c_str() + at + rate.size(), "%lf/%lf", &num, &den) == 2 && den > 0)
            watched.rate = num / den;
    }
    return watched;
}

}  // namespace pelliqo::test
