#include "PipeWireServer.h"

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

}  // namespace pelliqo::test
