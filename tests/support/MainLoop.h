#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <functional>

namespace pelliqo::test {

// True when the condition held before the time was up.
inline bool runMainLoopUntil(const std::function<bool()>& done, double seconds = 10) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > static_cast<qint64>(seconds * 1000)) return false;
        QEventLoop().processEvents(QEventLoop::AllEvents, 5);
        // Objects let go with deleteLater go here too, as they would in the application.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::msleep(2);
    }
    return true;
}

inline void runMainLoopFor(double seconds) {
    runMainLoopUntil([] { return false; }, seconds);
}

}  // namespace pelliqo::test
