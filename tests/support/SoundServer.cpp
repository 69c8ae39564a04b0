#include "SoundServer.h"

#include <chrono>
#include <thread>

namespace pelliqo::test {

SoundServer::SoundServer() {
    const std::string runtime = dir_.path().toStdString();
    pid_ = spawnQuietly(
        {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "-L",
         "module-native-protocol-unix", "-L", "module-null-source source_name=testmic"},
        {{"PULSE_RUNTIME_PATH", runtime}, {"HOME", runtime}});
    runtimePath_.emplace("PULSE_RUNTIME_PATH", runtime);
    if (!waitForFile(runtime + "/native", pid_)) {
        stopProcess(pid_);
        pid_ = -1;
        return;
    }
    // The socket appears before the modules are loaded; give them a moment.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

SoundServer::~SoundServer() {
    stopProcess(pid_);
}

}  // namespace pelliqo::test
