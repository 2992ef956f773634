#include "audio/PulseSoundServer.h"

#include "audio/PulseSoundServerFactory.h"

#include <pulse/def.h>
#include <pulse/error.h>
#include <pulse/subscribe.h>
#include <pulse/timeval.h>
#include <sys/time.h>

namespace {

constexpr const char* kClientName = "Beamwick";

} // namespace

std::shared_ptr<SoundServer> makePulseSoundServer(std::string address, std::string threadName)
{
    return std::make_shared<PulseSoundServer>(std::move(address), std::move(threadName));
}

PulseSoundServer::PulseSoundServer(std::string server, std::string threadName)
    : m_server(std::move(server)), m_threadName(std::move(threadName)),
      m_loop(pa_threaded_mainloop_new())
{}

PulseSoundServer::~PulseSoundServer()
{
    if (!m_loop)
        return;
    stopThread();
    m_stream.reset();
    m_context.reset();
    for (auto& [id, timer] : m_timers)
        pa_threaded_mainloop_get_api(m_loop)->time_free(timer.event);
    m_timers.clear();
    pa_threaded_mainloop_free(m_loop);
}

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

std::optional<SoundServer::Failure> PulseSoundServer::connect(Events events)
{
    disconnect();
    m_events = std::move(events);
    // The loop's thread starts with the first connection, the lock held: it runs once the
    // caller lets the lock go.
    if (!m_threadRuns && !startThread())
        return failure(PA_ERR_INTERNAL);
    m_context.reset(pa_context_new(pa_threaded_mainloop_get_api(m_loop), kClientName));
    if (!m_context)
        return failure(PA_ERR_INTERNAL);
    pa_context_set_state_callback(m_context.get(), &PulseSoundServer::contextChanged, this);
    pa_context_set_subscribe_callback(m_context.get(), &PulseSoundServer::eventArrived, this);
    const char* server = m_server.empty() ? nullptr : m_server.c_str();
    // Never spawn a sound server of our own: listening is only meaningful to the user's.
    if (pa_context_connect(m_context.get(), server, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return failure(error());
    return std::nullopt;
}

void PulseSoundServer::disconnect() noexcept
{
    m_stream.reset();
    m_context.reset();
    // A context that is gone answers nothing more.
    m_requests.clear();
}

bool PulseSoundServer::ready() const
{
    return m_context && pa_context_get_state(m_context.get()) == PA_CONTEXT_READY;
}

int PulseSoundServer::error() const
{
    return m_context ? pa_context_errno(m_context.get()) : PA_ERR_INTERNAL;
}

// The library's own words for a status, so the user is told more than a number; none for 0,
// which stands for a call that succeeded but gave nothing usable, nor for a code the library
// does not know.
SoundServer::Failure PulseSoundServer::failure(int status)
{
    const char* words = status == 0 ? nullptr : pa_strerror(status);
    return {status, words ? words : ""};
}

SoundServer::Failure PulseSoundServer::timedOut() const
{
    return failure(PA_ERR_TIMEOUT);
}

bool PulseSoundServer::subscribe()
{
    return requested(
        pa_context_subscribe(m_context.get(),
                             static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK_INPUT |
                                                                 PA_SUBSCRIPTION_MASK_SINK |
                                                                 PA_SUBSCRIPTION_MASK_SERVER),
                             nullptr, nullptr));
}

PulseSoundServer::Request* PulseSoundServer::owe()
{
    m_requests.emplace_back();
    m_requests.back().server = this;
    auto& request = m_requests.back();
    request.self = std::prev(m_requests.end());
    return &request;
}

std::optional<SoundServer::Failure> PulseSoundServer::sent(Request* request,
                                                           pa_operation* operation)
{
    if (requested(operation))
        return std::nullopt;
    settle(request);
    return failure(error());
}

std::optional<SoundServer::Failure> PulseSoundServer::askDefaultSink(DefaultSinkAnswer answer)
{
    if (!m_context)
        return failure(error());
    Request* request = owe();
    request->defaultSink = std::move(answer);
    return sent(request, pa_context_get_server_info(m_context.get(), &serverInfoArrived, request));
}

std::optional<SoundServer::Failure> PulseSoundServer::askSink(const std::string& name,
                                                              SinkAnswer answer)
{
    if (!m_context)
        return failure(error());
    Request* request = owe();
    request->sink = std::move(answer);
    return sent(request, pa_context_get_sink_info_by_name(m_context.get(), name.c_str(),
                                                          &sinkInfoArrived, request));
}

std::optional<SoundServer::Failure> PulseSoundServer::askPlayers(PlayersAnswer answer)
{
    if (!m_context)
        return failure(error());
    Request* request = owe();
    request->players = std::move(answer);
    return sent(request,
                pa_context_get_sink_input_info_list(m_context.get(), &playerArrived, request));
}
