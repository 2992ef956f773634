// The main thread's side of the meter: starting and stopping the client library's loop.
#include "audio/PulseAudioMeter.h"

#include <pulse/def.h>
#include <pulse/thread-mainloop.h>

namespace {

constexpr const char* kCreatingTap = "Creating audio tap";
constexpr const char* kThreadName = "beamwick.audio";

} // namespace

PulseAudioMeter::PulseAudioMeter() : PulseAudioMeter(Options{}) {}

PulseAudioMeter::PulseAudioMeter(Options options) : m_options(std::move(options)) {}

PulseAudioMeter::~PulseAudioMeter()
{
    stop();
}

void PulseAudioMeter::setOnInterruption(InterruptionCallback callback)
{
    m_onInterruption = std::move(callback);
}

void PulseAudioMeter::setOnActivity(ActivityCallback callback)
{
    m_onActivity = std::move(callback);
}

void PulseAudioMeter::start()
{
    if (m_loop)
        return;

    m_loop = pa_threaded_mainloop_new();
    if (!m_loop)
        throw MeterError(kCreatingTap, PA_ERR_INTERNAL);
    pa_threaded_mainloop_set_name(m_loop, kThreadName);
    if (pa_threaded_mainloop_start(m_loop) < 0) {
        stop();
        throw MeterError(kCreatingTap, PA_ERR_INTERNAL);
    }

    pa_threaded_mainloop_lock(m_loop);
    ++m_generation;
    m_established = false;
    m_lost = false;
    m_corked = false;
    m_failure.reset();
    beginAttempt();
    // Bounded: every attempt carries a deadline that fails its current step.
    while (m_phase != Phase::streaming && m_phase != Phase::failed)
        pa_threaded_mainloop_wait(m_loop);
    const std::optional<MeterError> failure = m_failure;
    m_established = !failure;
    pa_threaded_mainloop_unlock(m_loop);

    if (failure) {
        stop();
        throw *failure;
    }
}

void PulseAudioMeter::stop() noexcept
{
    if (!m_loop)
        return;
    pa_threaded_mainloop_lock(m_loop);
    tearDownConnection();
    m_phase = Phase::idle;
    m_established = false;
    m_lost = false;
    pa_threaded_mainloop_unlock(m_loop);
    // Joins the audio thread: after this no callback of ours can run.
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
    m_loop = nullptr;
}

void PulseAudioMeter::postInterruption(std::optional<MeterError> lost)
{
    const std::uint64_t generation = m_generation;
    // The task goes to an object the meter owns, so it is dropped if the meter goes first; the
    // generation drops a report that belongs to a run stopped since.
    m_handOff.postTask([this, generation, lost = std::move(lost)] {
        if (m_loop && generation == m_generation && m_onInterruption)
            m_onInterruption(lost);
    });
}

void PulseAudioMeter::postActivity(bool flowing)
{
    const std::uint64_t generation = m_generation;
    m_handOff.postTask([this, generation, flowing] {
        if (m_loop && generation == m_generation && m_onActivity)
            m_onActivity(flowing);
    });
}
