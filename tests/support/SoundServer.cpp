#include "SoundServer.h"

namespace pelliqo::test {

SoundServer::SoundServer() {
    const std::string runtime = daemons_.folder();
    // The socket appears before the modules are loaded; give them a moment.
    running_ = daemons_.start(
        {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "-L",
         "module-native-protocol-unix", "-L", "module-null-source source_name=testmic"},
        {{"PULSE_RUNTIME_PATH", runtime}, {"HOME", runtime}}, "native",
        std::chrono::milliseconds(200));
    runtimePath_.emplace("PULSE_RUNTIME_PATH", runtime);
}

}  // namespace pelliqo::test
