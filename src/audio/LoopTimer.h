#pragma once

#include "audio/SoundServer.h"

#include <functional>

// A one-shot timer on the sound server's loop: its work runs on the server's thread with the
// lock held, like every other callback of the capture. Arm, re-arm and cancel it with the lock
// held too; it must be cancelled (or destroyed) before its server goes.
class LoopTimer {
public:
    explicit LoopTimer(SoundServer& server) : m_server(server) {}
    ~LoopTimer() { cancel(); }

    LoopTimer(const LoopTimer&) = delete;
    LoopTimer& operator=(const LoopTimer&) = delete;

    // Runs `fire` once, `delay` from now; replaces whatever was armed.
    void arm(SoundServer::Clock::duration delay, std::function<void()> fire)
    {
        cancel();
        m_timer = m_server.arm(delay, [this, fire = std::move(fire)] {
            // Spent before the work runs: the work may arm this timer again.
            m_timer = 0;
            fire();
        });
    }
    void cancel() noexcept
    {
        if (m_timer != 0)
            m_server.cancel(m_timer);
        m_timer = 0;
    }
    bool armed() const { return m_timer != 0; }

private:
    SoundServer& m_server;
    SoundServer::TimerId m_timer = 0;
};
