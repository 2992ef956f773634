#pragma once

#include <chrono>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>
#include <sys/time.h>

// Timers on the client library's own loop, shared by the meter's connection and its watch on
// playback.

inline pa_mainloop_api* apiOf(pa_threaded_mainloop* loop)
{
    return pa_threaded_mainloop_get_api(loop);
}

// The wall-clock moment a loop timer wants, `delay` from now.
inline timeval after(std::chrono::milliseconds delay)
{
    timeval when{};
    pa_gettimeofday(&when);
    pa_timeval_add(&when, static_cast<pa_usec_t>(delay.count()) * PA_USEC_PER_MSEC);
    return when;
}
