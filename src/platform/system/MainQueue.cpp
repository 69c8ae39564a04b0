#include "platform/system/MainQueue.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace pelliqo::mainQueue {

bool async(std::function<void()> task) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return false;
    QMetaObject::invokeMethod(app, std::move(task), Qt::QueuedConnection);
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
