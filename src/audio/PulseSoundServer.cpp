#include "audio/PulseSoundServer.h"

#include "audio/PulseSoundServerFactory.h"

#include <pulse/def.h>
#include <pulse/error.h>
#include <pulse/subscribe.h>

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
