#include "platform/system/Interrupt.h"

#include <atomic>
#include <csignal>

namespace pelliqo {

namespace {

constexpr std::array<int, 3> endingSignals{SIGINT, SIGTERM, SIGHUP};

std::atomic<bool> pressed{false};

void onInterrupt(int) {
    pressed = true;
}

}  // namespace

InterruptGuard::InterruptGuard() {
    pressed = false;
    for (std::size_t i = 0; i < endingSignals.size(); ++i) {
        previous_[i] = std::signal(endingSignals[i], onInterrupt);
        // A hang-up ignored on purpose (by nohup) stays so.
        if (endingSignals[i] == SIGHUP && previous_[i] == SIG_IGN) std::signal(SIGHUP, SIG_IGN);
    }
}

InterruptGuard::~InterruptGuard() {
    for (std::size_t i = 0; i < endingSignals.size(); ++i)
        std::signal(endingSignals[i], previous_[i]);
}

bool InterruptGuard::interrupted() {
    return pressed;
}

}  // namespace pelliqo
