#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <functional>

// Spins the event loop until done() holds or the watchdog runs out, so a hang fails fast.
inline bool spinUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds watchdog = std::chrono::seconds(10))
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.elapsed() > watchdog.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Runs every task posted to the event loop so far: what a test waits for when it shows that
// nothing more arrives from an object that can post no more.
inline void runPostedTasks()
{
    QCoreApplication::sendPostedEvents();
}

// Runs the application's own event loop, as main() does, with `action` as its first event, until
// something quits it; gives the exit code, or `watchdogCode` when the watchdog had to end it.
inline int runUntilQuit(const std::function<void()>& action,
                        std::chrono::milliseconds watchdog = std::chrono::seconds(10),
                        int watchdogCode = 1)
{
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout,
                     [watchdogCode] { QCoreApplication::exit(watchdogCode); });
    timer.start(watchdog);
    QTimer::singleShot(0, action);
    return QCoreApplication::exec();
}
