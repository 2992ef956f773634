#pragma once

#include "platform/Ticker.h"

#include <QTimer>

// Ticks on a precise QTimer.
class TimerTicker final : public Ticker {
    Q_OBJECT
public:
    explicit TimerTicker(QObject* parent = nullptr);

    void start(std::chrono::milliseconds interval) override;
    void stop() override;
    bool isActive() const override;

private:
    QTimer m_timer;
};
