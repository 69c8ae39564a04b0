#include "PipeWireServer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace pelliqo::test {

namespace {

// Runs a program with the environment set for the private server, its output discarded.
int spawn(const std::vector<std::string>& argv, const std::string& runtime,
          const std::string& bus) {
    const int pid = fork();
    if (pid != 0) return pid;
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("PIPEWIRE_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("HOME", runtime.c_str(), 1);
    if (!bus.empty()) setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
    const int devnull = ::open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    dup2(devnull, 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

bool waitFor(const std::filesystem::path& file, int pid) {
    for (int i = 0; i < 100; ++i) {
        if (std::filesystem::exists(file)) return true;
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

}  // namespace

PipeWireServer::PipeWireServer() {
    if (const char* old = std::getenv("PIPEWIRE_RUNTIME_DIR")) {
        hadRuntimeDir_ = true;
        oldRuntimeDir_ = old;
    }
    const std::string runtime = dir_.path().toStdString();
    const std::string busSocket = runtime + "/bus";
    const std::string bus = "unix:path=" + busSocket;
    pids_.push_back(spawn(
        {"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + bus}, runtime, {}));
    if (!waitFor(busSocket, pids_.back())) return;
    pids_.push_back(spawn({"pipewire"}, runtime, bus));
    if (!waitFor(runtime + "/pipewire-0", pids_.back())) return;
    pids_.push_back(spawn({"wireplumber"}, runtime, bus));
    // The session manager links streams once it has looked at the graph.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    int status = 0;
    if (waitpid(pids_.back(), &status, WNOHANG) == pids_.back()) return;
    setenv("PIPEWIRE_RUNTIME_DIR", runtime.c_str(), 1);
    running_ = true;
}

PipeWireServer::~PipeWireServer() {
    for (auto it = pids_.rbegin(); it != pids_.rend(); ++it) {
        if (*it <= 0) continue;
        kill(*it, SIGTERM);
        waitpid(*it, nullptr, 0);
    }
    if (hadRuntimeDir_)
        setenv("PIPEWIRE_RUNTIME_DIR", oldRuntimeDir_.c_str(), 1);
    else
        unsetenv("PIPEWIRE_RUNTIME_DIR");
}

}  // namespace pelliqo::test
