#include "platform/TimerTicker.h"

TimerTicker::TimerTicker(QObject* parent) : Ticker(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Ticker::ticked);
}

void TimerTicker::start(std::chrono::milliseconds interval)
{
    m_timer.start(interval);
}

void TimerTicker::stop()
{
    m_timer.stop();
}

bool TimerTicker::isActive() const
{
    return m_timer.isActive();
}
