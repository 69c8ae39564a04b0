#include "platform/system/Interrupt.h"

#include <atomic>
#include <csignal>

namespace pelliqo {

namespace {

constexpr std::array<int, 4> endingSignals{SIGINT, SIGTERM, SIGHUP, SIGPIPE};

std::atomic<bool> pressed{false};
std::atomic<bool> pipeClosed{false};

void onInterrupt(int signal) {
    if (signal == SIGPIPE) pipeClosed = true;
    pressed = true;
}

}  // namespace

InterruptGuard::InterruptGuard() {
    pressed = false;
    pipeClosed = false;
    for (std::size_t i = 0; i < endingSignals.size(); ++i) {
        const int signal = endingSignals[i];
        previous_[i] = std::signal(signal, onInterrupt);
        // A hang-up ignored on purpose (by nohup), or a broken pipe, stays so.
        if ((signal == SIGHUP || signal == SIGPIPE) && previous_[i] == SIG_IGN)
            std::signal(signal, SIG_IGN);
    }
}

InterruptGuard::~InterruptGuard() {
    for (std::size_t i = 0; i < endingSignals.size(); ++i)
        std::signal(endingSignals[i], previous_[i]);
}

bool InterruptGuard::interrupted() {
    return pressed;
}

bool InterruptGuard::readerWentAway() {
    return pipeClosed;
}

}  // namespace pelliqo
