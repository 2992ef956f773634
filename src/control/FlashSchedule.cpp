#include "control/FlashSchedule.h"

#include <algorithm>
#include <stdexcept>

FlashSchedule::FlashSchedule(std::unique_ptr<Ticker> ticker) : m_ticker(std::move(ticker))
{
    if (!m_ticker)
        throw std::invalid_argument("FlashSchedule: no ticker");
}

void FlashSchedule::add(Clock::TimePoint due, Clock::TimePoint now)
{
    m_due.push_back(due);
    arm(now);
}

std::optional<Clock::TimePoint> FlashSchedule::ring(Clock::TimePoint now)
{
    std::optional<Clock::TimePoint> reached;
    while (!m_due.empty() && m_due.front() <= now) {
        reached = m_due.front();
        m_due.pop_front();
    }
    if (m_due.empty())
        m_ticker->stop();
    else
        arm(now);
    return reached;
}

void FlashSchedule::clear()
{
    m_due.clear();
    m_ticker->stop();
}

void FlashSchedule::arm(Clock::TimePoint now)
{
    // Rounded up: the timer counts whole milliseconds, and a flash shown before its beat is heard
    // is worse than one a fraction of a millisecond late.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(m_due.front() - now);
    m_ticker->start(std::max(wait, std::chrono::milliseconds{0}));
}
