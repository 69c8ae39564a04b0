#pragma once

#include <functional>

namespace pelliqo::mainQueue {

// Work for the main thread, run by the Qt event loop of the running QCoreApplication.
// Without an application object there is no main loop, and the task is dropped (false).
bool async(std::function<void()> task);
bool asyncAfter(double seconds, std::function<void()> task);

// True on the thread that runs the application's event loop.
bool isCurrent();

}  // namespace pelliqo::mainQueue
