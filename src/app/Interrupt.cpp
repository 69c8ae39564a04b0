#include "app/Interrupt.h"

#include <atomic>
#include <csignal>

namespace pelliqo {

namespace {

std::atomic<bool> pressed{false};

void onInterrupt(int) {
    pressed = true;
}

}  // namespace

InterruptGuard::InterruptGuard() {
    pressed = false;
    previous_ = std::signal(SIGINT, onInterrupt);
}

InterruptGuard::~InterruptGuard() {
    std::signal(SIGINT, previous_);
}

bool InterruptGuard::interrupted() {
    return pressed;
}

}  // namespace pelliqo
