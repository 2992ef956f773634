#include "audio/PulseHandles.h"

#include <pulse/subscribe.h>

void ContextRelease::operator()(pa_context* context) const noexcept
{
    pa_context_set_state_callback(context, nullptr, nullptr);
    pa_context_set_subscribe_callback(context, nullptr, nullptr);
    pa_context_disconnect(context);
    pa_context_unref(context);
}

void StreamRelease::operator()(pa_stream* stream) const noexcept
{
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
}
