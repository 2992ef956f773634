#include "platform/TimerTicker.h"

#include <QTimerEvent>

TimerTicker::TimerTicker(QObject* parent) : Ticker(parent) {}

void TimerTicker::start(std::chrono::milliseconds interval)
{
    // Restarting a QBasicTimer replaces the running one, so the period starts afresh.
    m_timer.start(static_cast<int>(interval.count()), Qt::PreciseTimer, this);
}

void TimerTicker::stop()
{
    m_timer.stop();
}

bool TimerTicker::isActive() const
{
    return m_timer.isActive();
}

void TimerTicker::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_timer.timerId())
        emit ticked();
    else
        Ticker::timerEvent(event);
}
