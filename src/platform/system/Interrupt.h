#pragma once

#include <array>

namespace pelliqo {

// While it lives, Ctrl-C and the requests to end that `kill`, `timeout`, a service manager or
// a closed terminal send (SIGINT, SIGTERM, SIGHUP, unless nohup ignores it) are noted instead
// of ending the process at once, so that it can finish its files; the previous handling comes
// back when it goes.
class InterruptGuard {
  public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // Whether one came since the guard was made.
    static bool interrupted();

  private:
    std::array<void (*)(int), 3> previous_{};
};

}  // namespace pelliqo
