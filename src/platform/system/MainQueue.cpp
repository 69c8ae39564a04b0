#include "platform/system/MainQueue.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <memory>

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace pelliqo::mainQueue {

namespace {

// Qt hands a posted task over under its own futex-based locks, which ThreadSanitizer cannot
// see; telling it that posting a task happens before running it keeps its reports to real
// races. (Qt's own event objects, made after this point, are the sanitizer's suppressions'.)
void handedOver([[maybe_unused]] void* task) {
#if defined(__SANITIZE_THREAD__)
    __tsan_release(task);
#endif
}

void takenOver([[maybe_unused]] void* task) {
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(task);
#endif
}

}  // namespace

bool async(std::function<void()> task) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return false;
    auto posted = std::make_shared<std::function<void()>>(std::move(task));
    handedOver(posted.get());
    QMetaObject::invokeMethod(
        app,
        [posted] {
            takenOver(posted.get());
            (*posted)();
        },
        Qt::QueuedConnection);
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
