#include "audio/PulseConnection.h"

#include <pulse/def.h>
#include <pulse/error.h>

namespace {

constexpr const char* kClientName = "Beamwick";

} // namespace

PulseConnection::PulseConnection(std::string server, Handlers handlers)
    : m_server(std::move(server)), m_handlers(std::move(handlers)),
      m_loop(pa_threaded_mainloop_new())
{}

PulseConnection::~PulseConnection()
{
    if (!m_loop)
        return;
    stopThread();
    m_context.reset();
    pa_threaded_mainloop_free(m_loop);
}

bool PulseConnection::startThread(const char* name)
{
    pa_threaded_mainloop_set_name(m_loop, name);
    m_threadRuns = pa_threaded_mainloop_start(m_loop) >= 0;
    return m_threadRuns;
}

void PulseConnection::stopThread() noexcept
{
    if (m_threadRuns)
        pa_threaded_mainloop_stop(m_loop);
    m_threadRuns = false;
}

bool PulseConnection::waitUntil(std::chrono::steady_clock::time_point deadline)
{
    // The loop's lock is never taken while the signal's mutex is held, so the two cannot
    // deadlock with the loop's thread, which signals with the loop's lock held.
    pa_threaded_mainloop_unlock(m_loop);
    bool signalled = false;
    {
        std::unique_lock guard(m_signalMutex);
        signalled = m_signalled.wait_until(guard, deadline, [this] { return m_signal; });
        m_signal = false;
    }
    pa_threaded_mainloop_lock(m_loop);
    return signalled;
}

void PulseConnection::signal()
{
    const std::lock_guard guard(m_signalMutex);
    m_signal = true;
    m_signalled.notify_all();
}

int PulseConnection::connect()
{
    ++m_serial;
    m_context.reset(pa_context_new(api(), kClientName));
    if (!m_context)
        return PA_ERR_INTERNAL;
    pa_context_set_state_callback(m_context.get(), &PulseConnection::stateChanged, this);
    pa_context_set_subscribe_callback(m_context.get(), &PulseConnection::eventArrived, this);
    const char* server = m_server.empty() ? nullptr : m_server.c_str();
    // Never spawn a sound server of our own: listening is only meaningful to the user's.
    if (pa_context_connect(m_context.get(), server, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return error();
    return 0;
}

bool PulseConnection::subscribe(pa_subscription_mask_t mask)
{
    return requested(pa_context_subscribe(m_context.get(), mask, nullptr, nullptr));
}

bool PulseConnection::ready() const
{
    return m_context && pa_context_get_state(m_context.get()) == PA_CONTEXT_READY;
}

int PulseConnection::error() const
{
    return m_context ? pa_context_errno(m_context.get()) : PA_ERR_INTERNAL;
}

void PulseConnection::stateChanged(pa_context* context, void* self) noexcept
{
    auto* connection = static_cast<PulseConnection*>(self);
    guarded([&] {
        switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            connection->m_handlers.ready();
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            connection->m_handlers.lost(pa_context_errno(context));
            break;
        default:
            break;
        }
    });
}

void PulseConnection::eventArrived(pa_context*, pa_subscription_event_type_t event,
                                   std::uint32_t index, void* self) noexcept
{
    guarded([&] { static_cast<PulseConnection*>(self)->m_handlers.changed(event, index); });
}
