#pragma once

#include <QTemporaryDir>
#include <optional>
#include <string>

#include "Processes.h"

namespace pelliqo::test {

// A private PulseAudio server with one silent source, "testmic", for as long as the object
// lives; this process's sound clients talk to it. Without the server installed it does not
// start, and running() says so.
class SoundServer {
  public:
    SoundServer();
    ~SoundServer();
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    bool running() const { return pid_ > 0; }

  private:
    QTemporaryDir dir_;
    int pid_ = -1;
    std::optional<ScopedEnvironment> runtimePath_;
};

}  // namespace pelliqo::test
