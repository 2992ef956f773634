#include "audio/OutputWatch.h"

#include "audio/PulseHandles.h"

#include <cstring>
#include <pulse/def.h>
#include <pulse/introspect.h>

void OutputWatch::follow(pa_context* context, std::string sinkName, std::uint32_t sinkIndex)
{
    m_context = context;
    m_sinkName = std::move(sinkName);
    m_sinkIndex = sinkIndex;
    m_following = true;
    // The default may have changed while the capture was moving here, before it listened.
    check();
}

void OutputWatch::changed(pa_subscription_event_type_t event, std::uint32_t index)
{
    if (!m_following)
        return;
    const auto facility = event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const auto type = event & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    const bool gone = type == PA_SUBSCRIPTION_EVENT_REMOVE && index == m_sinkIndex;
    const bool awaited = type == PA_SUBSCRIPTION_EVENT_NEW && m_sinkIndex == PA_INVALID_INDEX;
    if (facility == PA_SUBSCRIPTION_EVENT_SINK && (gone || awaited)) {
        m_following = false;
        m_moved();
    } else if (facility == PA_SUBSCRIPTION_EVENT_SERVER) {
        // The server changes for other reasons too; only its default sink matters here.
        check();
    }
}

void OutputWatch::check()
{
    // Unanswered, the capture stays where it is until the next change.
    requested(pa_context_get_server_info(m_context, &OutputWatch::serverInfoArrived, this));
}

void OutputWatch::serverInfoArrived(pa_context*, const pa_server_info* info, void* self) noexcept
{
    auto* watch = static_cast<OutputWatch*>(self);
    guarded([&] {
        if (!watch->m_following || !info || !info->default_sink_name)
            return;
        if (std::strcmp(info->default_sink_name, watch->m_sinkName.c_str()) != 0) {
            watch->m_following = false;
            watch->m_moved();
        }
    });
}
