#include "audio/LoopTimer.h"

#include "audio/PulseHandles.h"

#include <pulse/timeval.h>
#include <sys/time.h>

void LoopTimer::arm(std::chrono::steady_clock::duration delay, std::function<void()> fire)
{
    // The library's timers take wall-clock moments.
    timeval when{};
    pa_gettimeofday(&when);
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(delay).count();
    pa_timeval_add(&when, micros > 0 ? static_cast<pa_usec_t>(micros) : 0);
    m_fire = std::move(fire);
    if (m_event)
        m_api->time_restart(m_event, &when);
    else
        m_event = m_api->time_new(m_api, &when, &LoopTimer::expired, this);
}

void LoopTimer::cancel() noexcept
{
    if (m_event) {
        m_api->time_free(m_event);
        m_event = nullptr;
    }
    m_fire = nullptr;
}

void LoopTimer::expired(pa_mainloop_api* api, pa_time_event* event, const timeval*,
                        void* self) noexcept
{
    auto* timer = static_cast<LoopTimer*>(self);
    // Freeing a timer from its own callback is allowed by the library. The work is moved out
    // first: it may arm this timer again.
    api->time_free(event);
    timer->m_event = nullptr;
    guarded([fire = std::move(timer->m_fire)] {
        if (fire)
            fire();
    });
}
