#pragma once

namespace pelliqo {

// Catches Ctrl-C while it lives, so that a long command can end cleanly; the previous
// handling comes back when it goes.
class InterruptGuard {
  public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // Whether Ctrl-C was pressed since the guard was made.
    static bool interrupted();

  private:
    void (*previous_)(int);
};

}  // namespace pelliqo
