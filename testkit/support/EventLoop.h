#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
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
