// The loop of PulseSoundServer: its thread, which is the audio thread, its lock, the main
// thread's waits on it, and the timers it runs.
#include "audio/PulseSoundServer.h"

#include <pulse/timeval.h>
#include <sys/time.h>

bool PulseSoundServer::startThread()
{
    if (!m_loop)
        return false;
    pa_threaded_mainloop_set_name(m_loop, m_threadName.c_str());
    m_threadRuns = pa_threaded_mainloop_start(m_loop) >= 0;
    return m_threadRuns;
}

void PulseSoundServer::stopThread() noexcept
{
    if (m_threadRuns)
        pa_threaded_mainloop_stop(m_loop);
    m_threadRuns = false;
}

void PulseSoundServer::locked(const std::function<void()>& work)
{
    lock();
    try {
        work();
    } catch (...) {
        unlock();
        throw;
    }
    unlock();
}

bool PulseSoundServer::await(Clock::time_point deadline, const std::function<bool()>& done)
{
    m_awaiting = true;
    bool held = done();
    while (!held) {
        // The loop's lock is never taken while the signal's mutex is held, so the two cannot
        // deadlock with the loop's thread, which wakes this one with the loop's lock held.
        unlock();
        bool woken = false;
        {
            std::unique_lock guard(m_signalMutex);
            woken = m_signalled.wait_until(guard, deadline, [this] { return m_signal; });
            m_signal = false;
        }
        lock();
        held = done();
        if (!woken)
            break;
    }
    m_awaiting = false;
    return held;
}

void PulseSoundServer::wake()
{
    if (!m_awaiting)
        return;
    const std::lock_guard guard(m_signalMutex);
    m_signal = true;
    m_signalled.notify_all();
}

SoundServer::TimerId PulseSoundServer::arm(Clock::duration delay, std::function<void()> fire)
{
    // Without a loop, connecting fails at once: a timer of that attempt never needs to fire.
    if (!m_loop)
        return 0;
    // The library's timers take wall-clock moments.
    timeval when{};
    pa_gettimeofday(&when);
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(delay).count();
    pa_timeval_add(&when, micros > 0 ? static_cast<pa_usec_t>(micros) : 0);
    const TimerId id = ++m_lastTimer;
    auto& timer = m_timers[id] = Timer{this, id, nullptr, std::move(fire)};
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_loop);
    timer.event = api->time_new(api, &when, &PulseSoundServer::expired, &timer);
    return id;
}

void PulseSoundServer::cancel(TimerId id) noexcept
{
    const auto found = m_timers.find(id);
    if (found == m_timers.end())
        return;
    pa_threaded_mainloop_get_api(m_loop)->time_free(found->second.event);
    m_timers.erase(found);
}

void PulseSoundServer::expired(pa_mainloop_api* api, pa_time_event* event, const timeval*,
                               void* timer) noexcept
{
    auto* due = static_cast<Timer*>(timer);
    PulseSoundServer* server = due->server;
    // Freeing a timer from its own callback is allowed by the library. The work is moved out
    // first: it may arm another timer.
    auto fire = std::move(due->fire);
    api->time_free(event);
    server->m_timers.erase(due->id);
    server->dispatch([&] {
        if (fire)
            fire();
    });
}
