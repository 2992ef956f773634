#include "audio/DefaultSinkLookup.h"

#include "audio/PulseHandles.h"

#include <pulse/def.h>
#include <pulse/introspect.h>

void DefaultSinkLookup::begin(pa_context* context)
{
    m_context = context;
    m_stage = Stage::readingServer;
    if (!requested(
            pa_context_get_server_info(context, &DefaultSinkLookup::serverInfoArrived, this)))
        fail(Step::findingSpeakers, pa_context_errno(context));
}

std::optional<DefaultSinkLookup::Step> DefaultSinkLookup::step() const
{
    switch (m_stage) {
    case Stage::readingServer:
        return Step::findingSpeakers;
    case Stage::readingSink:
        return Step::readingSpeakerId;
    case Stage::idle:
        break;
    }
    return std::nullopt;
}

void DefaultSinkLookup::readSink(const pa_server_info* info)
{
    if (!info) {
        fail(Step::findingSpeakers, pa_context_errno(m_context));
        return;
    }
    m_stage = Stage::readingSink;
    // A server without a default sink goes on to the next read, which then fails on its own.
    m_name = info->default_sink_name ? info->default_sink_name : "";
    if (!requested(pa_context_get_sink_info_by_name(m_context, m_name.c_str(),
                                                    &DefaultSinkLookup::sinkInfoArrived, this)))
        fail(Step::readingSpeakerId, pa_context_errno(m_context));
}

void DefaultSinkLookup::fail(Step step, int status)
{
    m_stage = Stage::idle;
    m_failed(step, status);
}

void DefaultSinkLookup::serverInfoArrived(pa_context*, const pa_server_info* info,
                                          void* self) noexcept
{
    auto* lookup = static_cast<DefaultSinkLookup*>(self);
    guarded([&] {
        if (lookup->m_stage == Stage::readingServer)
            lookup->readSink(info);
    });
}

void DefaultSinkLookup::sinkInfoArrived(pa_context* context, const pa_sink_info* info, int eol,
                                        void* self) noexcept
{
    auto* lookup = static_cast<DefaultSinkLookup*>(self);
    guarded([&] {
        if (lookup->m_stage != Stage::readingSink)
            return;
        if (eol < 0) {
            lookup->fail(Step::readingSpeakerId, pa_context_errno(context));
        } else if (eol > 0 || !info) {
            lookup->fail(Step::readingSpeakerId, PA_ERR_NOENTITY);
        } else {
            lookup->m_stage = Stage::idle;
            lookup->m_found(*info, lookup->m_name);
        }
    });
}
