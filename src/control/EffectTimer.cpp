#include "control/EffectTimer.h"

#include <stdexcept>

EffectTimer::EffectTimer(std::unique_ptr<Ticker> ticker) : m_ticker(std::move(ticker))
{
    if (!m_ticker)
        throw std::invalid_argument("EffectTimer: no ticker");
}

void EffectTimer::start()
{
    m_state = State::ticking;
    m_ticker->start(interval);
}

void EffectTimer::stop()
{
    m_state = State::stopped;
    m_ticker->stop();
}

void EffectTimer::sleep()
{
    if (m_state != State::ticking)
        return;
    m_state = State::asleep;
    m_ticker->stop();
}

void EffectTimer::wake()
{
    if (m_state != State::asleep)
        return;
    m_state = State::ticking;
    m_ticker->start(interval);
}
