#include "platform/system/MainQueue.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace pelliqo::mainQueue {

namespace {

// A task on its way to the main thread. Qt moves it into an event object of its own and hands
// that over under futex-based locks which ThreadSanitizer cannot see, so the task marks the
// hand-over itself: the copy Qt makes is released once built or run, and acquired before it
// runs or goes. Without the sanitizer these marks are empty.
class HandedTask {
  public:
    explicit HandedTask(std::function<void()> task) : task_(std::move(task)) {}
    HandedTask(HandedTask&& other) noexcept : task_(std::move(other.task_)) { release(this); }
    HandedTask(const HandedTask& other) : task_(other.task_) { release(this); }
    HandedTask& operator=(const HandedTask&) = delete;
    HandedTask& operator=(HandedTask&&) = delete;
    ~HandedTask() { acquire(this); }

    void operator()() {
        acquire(this);
        task_();
        release(this);  // Qt may drop its last reference to the copy on the posting thread
    }

  private:
    static void release([[maybe_unused]] void* at) {
#if defined(__SANITIZE_THREAD__)
        __tsan_release(at);
#endif
    }
    static void acquire([[maybe_unused]] void* at) {
#if defined(__SANITIZE_THREAD__)
        __tsan_acquire(at);
#endif
    }

    std::function<void()> task_;
};

}  // namespace

bool async(std::function<void()> task) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return false;
    QMetaObject::invokeMethod(app, HandedTask(std::move(task)), Qt::QueuedConnection);
    return true;
}

bool asyncAfter(double seconds, std::function<void()> task) {
    constexpr double longestMs = 24.0 * 3600 * 1000;  // QTimer counts in int milliseconds
    const double ms = seconds > 0 ? std::min(std::ceil(seconds * 1000), longestMs) : 0;
    // Timers belong to the thread that starts them, so start it on the main thread.
    return async([ms, task = std::move(task)]() mutable {
        QTimer::singleShot(static_cast<int>(ms), QCoreApplication::instance(), std::move(task));
    });
}

bool isCurrent() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

}  // namespace pelliqo::mainQueue
