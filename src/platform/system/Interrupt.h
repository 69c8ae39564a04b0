#pragma once

#include <array>

namespace pelliqo {

// While it lives, Ctrl-C and the requests to end that `kill`, `timeout`, a service manager or
// a closed terminal send (SIGINT, SIGTERM, SIGHUP, unless nohup ignores it) are noted instead
// of ending the process at once, so that it can finish its files; the previous handling comes
// back when it goes. So is a write to a pipe whose reader went away (SIGPIPE, unless ignored).
class InterruptGuard {
  public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // Whether one came since the guard was made.
    static bool interrupted();
    // Whether that was a reader going away, which should end the process as it would have
    // once the files are finished.
    static bool readerWentAway();

  private:
    std::array<void (*)(int), 4> previous_{};
};

}  // namespace pelliqo
