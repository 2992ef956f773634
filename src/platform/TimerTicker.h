#pragma once

#include "platform/Ticker.h"

#include <QBasicTimer>

// Ticks on a precise timer of the object's own. A QTimer would add a hop per tick (its timeout
// signal, relayed to ticked()); in Music the main thread wakes twenty times a second for it.
class TimerTicker final : public Ticker {
    Q_OBJECT
public:
    explicit TimerTicker(QObject* parent = nullptr);

    void start(std::chrono::milliseconds interval) override;
    void stop() override;
    bool isActive() const override;

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    QBasicTimer m_timer;
};
