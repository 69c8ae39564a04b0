#include "Processes.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace pelliqo::test {

ScopedEnvironment::ScopedEnvironment(std::string name, const std::string& value)
    : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) saved_ = old;
    setenv(name_.c_str(), value.c_str(), 1);
}

ScopedEnvironment::~ScopedEnvironment() {
    if (saved_) {
        setenv(name_.c_str(), saved_->c_str(), 1);
    } else {
        unsetenv(name_.c_str());
    }
}

int spawnQuietly(const std::vector<std::string>& argv, const Environment& environment) {
    const int pid = fork();
    if (pid != 0) return pid;
    for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
    const int devnull = ::open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    dup2(devnull, 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

bool hasEnded(int pid) {
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == pid;
}

bool waitForFile(const std::filesystem::path& file, int pid) {
    for (int i = 0; i < 100; ++i) {
        if (std::filesystem::exists(file)) return true;
        if (hasEnded(pid)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

void stopProcess(int pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

}  // namespace pelliqo::test
