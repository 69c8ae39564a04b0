#include "SoundServer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace pelliqo::test {

SoundServer::SoundServer() {
    if (const char* old = std::getenv("PULSE_RUNTIME_PATH")) {
        hadRuntimePath_ = true;
        oldRuntimePath_ = old;
    }
    const std::string runtime = dir_.path().toStdString();
    const std::string socket = runtime + "/native";
    pid_ = fork();
    if (pid_ == 0) {
        setenv("PULSE_RUNTIME_PATH", runtime.c_str(), 1);
        setenv("HOME", runtime.c_str(), 1);
        const int devnull = ::open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        execlp("pulseaudio", "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
               "--use-pid-file=no", "-L", "module-native-protocol-unix", "-L",
               "module-null-source source_name=testmic", nullptr);
        _exit(127);
    }
    setenv("PULSE_RUNTIME_PATH", runtime.c_str(), 1);
    for (int i = 0; i < 100 && !std::filesystem::exists(socket); ++i) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // The socket appears before the modules are loaded; give them a moment.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

SoundServer::~SoundServer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    if (hadRuntimePath_)
        setenv("PULSE_RUNTIME_PATH", oldRuntimePath_.c_str(), 1);
    else
        unsetenv("PULSE_RUNTIME_PATH");
}

}  // namespace pelliqo::test
