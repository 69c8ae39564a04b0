#pragma once

#include <optional>

#include "Processes.h"

namespace pelliqo::test {

// A private PulseAudio server with one silent source, "testmic".
class SoundServer {
  public:
    SoundServer();

    bool running() const { return running_; }

  private:
    Daemons daemons_;
    bool running_ = false;
    std::optional<ScopedEnvironment> runtimePath_;
};

}  // namespace pelliqo::test
