#pragma once

#include <QObject>
#include <chrono>

// A periodic wake-up on the main thread: the effect engine's tick. Injectable, as the clock is,
// so that tests can step the ticks by hand.
class Ticker : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Ticks every interval from now on; a running ticker starts its period afresh.
    virtual void start(std::chrono::milliseconds interval) = 0;
    // No tick comes after this until the next start().
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

signals:
    void ticked();
};
