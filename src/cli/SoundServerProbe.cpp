#include "cli/SoundServerProbe.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/operation.h>

namespace {

struct Exchange {
    bool infoArrived = false;
    // The default sink's description, asked for once the server named it.
    bool sinkAsked = false;
    bool sinkArrived = false;
    SoundServerProbe::Result result;
};

void onSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* userdata)
{
    auto* exchange = static_cast<Exchange*>(userdata);
    if (eol != 0 || !info) {
        exchange->sinkArrived = true;
        return;
    }
    exchange->result.outputLatency = std::chrono::microseconds(info->latency);
}

void onServerInfo(pa_context*, const pa_server_info* info, void* userdata)
{
    auto* exchange = static_cast<Exchange*>(userdata);
    exchange->infoArrived = true;
    if (!info)
        return;
    exchange->result.server = QStringLiteral("%1 %2").arg(QString::fromUtf8(info->server_name),
                                                          QString::fromUtf8(info->server_version));
    if (info->default_sink_name)
        exchange->result.defaultOutput = QString::fromUtf8(info->default_sink_name);
}

} // namespace

SoundServerProbe::Result SoundServerProbe::ask(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto timeLeft = [&] { return std::chrono::steady_clock::now() < deadline; };

    Exchange exchange;
    pa_mainloop* loop = pa_mainloop_new();
    if (!loop) {
        exchange.result.error = QStringLiteral("could not create a client main loop");
        return exchange.result;
    }
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "Beamwick status");
    // Never spawn a server just to ask about it.
    if (!context || pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        exchange.result.error =
            QString::fromUtf8(pa_strerror(context ? pa_context_errno(context) : PA_ERR_INTERNAL));
        if (context)
            pa_context_unref(context);
        pa_mainloop_free(loop);
        return exchange.result;
    }

    pa_operation* operation = nullptr;
    while (timeLeft()) {
        // A short block at a time keeps the whole exchange within the deadline.
        if (pa_mainloop_prepare(loop, 20000) < 0 || pa_mainloop_poll(loop) < 0 ||
            pa_mainloop_dispatch(loop) < 0)
            break;
        const pa_context_state_t state = pa_context_get_state(context);
        if (!PA_CONTEXT_IS_GOOD(state))
            break;
        if (state == PA_CONTEXT_READY && !operation)
            operation = pa_context_get_server_info(context, onServerInfo, &exchange);
        if (exchange.infoArrived && !exchange.sinkAsked) {
            exchange.sinkAsked = true;
            const QByteArray sink = exchange.result.defaultOutput.toUtf8();
            pa_operation* asked = sink.isEmpty()
                                      ? nullptr
                                      : pa_context_get_sink_info_by_name(context, sink.constData(),
                                                                         onSinkInfo, &exchange);
            if (!asked)
                break;
            pa_operation_unref(operation);
            operation = asked;
        }
        if (exchange.sinkArrived)
            break;
    }

    if (exchange.infoArrived && !exchange.result.server.isEmpty()) {
        exchange.result.answers = true;
    } else if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
        exchange.result.error = QString::fromUtf8(pa_strerror(pa_context_errno(context)));
    } else {
        exchange.result.error = QStringLiteral("no answer within %1 ms").arg(timeout.count());
    }
    if (operation) {
        if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
            pa_operation_cancel(operation);
        pa_operation_unref(operation);
    }
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_mainloop_free(loop);
    return exchange.result;
}
