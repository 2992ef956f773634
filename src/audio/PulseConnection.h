#pragma once

#include "audio/PulseHandles.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>
#include <string>

// The capture's way to the sound server: the client library's threaded loop, whose thread is the
// audio thread, and one context on it at a time. A context that failed cannot be reused, so
// reconnecting means dropping it and connecting anew on the same loop.
//
// Locking: the loop's thread holds the loop's lock while it runs any callback, so everything the
// capture does there is serialised. Other threads (the main thread in start() and stop()) take
// the lock through Lock before touching the capture, and never hold it while waiting for the
// main thread.
class PulseConnection {
public:
    struct Handlers {
        // The context can take requests.
        std::function<void()> ready;
        // The context failed or was closed by the server, with the library's error code.
        std::function<void(int status)> lost;
        // A subscribed event: its facility and type, and the index of the object it concerns.
        std::function<void(pa_subscription_event_type_t event, std::uint32_t index)> changed;
    };

    class Lock {
    public:
        explicit Lock(PulseConnection& connection) : m_loop(connection.m_loop)
        {
            pa_threaded_mainloop_lock(m_loop);
        }
        ~Lock() { pa_threaded_mainloop_unlock(m_loop); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* m_loop;
    };

    // The loop exists but its thread does not run yet; check valid().
    PulseConnection(std::string server, Handlers handlers);
    // Joins the loop's thread, then releases the context and the loop.
    ~PulseConnection();

    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    bool valid() const { return m_loop != nullptr; }
    // Starts the loop's thread under that name; whether it runs.
    bool startThread(const char* name);
    // Joins the loop's thread: after this no callback runs. Not with the lock held.
    void stopThread() noexcept;

    // Lock held, not on the loop's thread: releases the lock until signalled or until the
    // moment has passed, by this thread's own clock rather than a timer on the loop, and takes
    // it again; whether it was signalled.
    bool waitUntil(std::chrono::steady_clock::time_point deadline);
    // Any thread: ends a waitUntil(), or the next one.
    void signal();

    // Lock held. Begins connecting a new context, which gets a new serial(); 0, or the error code
    // when it cannot even begin.
    int connect();
    // Lock held. Drops the context, if any, without a word to the handlers.
    void disconnect() noexcept { m_context.reset(); }
    // Lock held, context ready. Asks for events of these facilities; whether the request went.
    bool subscribe(pa_subscription_mask_t mask);

    pa_context* context() const { return m_context.get(); }
    // Tells the contexts apart: a new one is often allocated where the last one was.
    std::uint64_t serial() const { return m_serial; }
    bool ready() const;
    pa_mainloop_api* api() const { return m_loop ? pa_threaded_mainloop_get_api(m_loop) : nullptr; }
    // The context's last error code; PA_ERR_INTERNAL without a context.
    int error() const;

private:
    static void stateChanged(pa_context* context, void* self) noexcept;
    static void eventArrived(pa_context* context, pa_subscription_event_type_t event,
                             std::uint32_t index, void* self) noexcept;

    std::string m_server;
    Handlers m_handlers;
    pa_threaded_mainloop* m_loop;
    bool m_threadRuns = false;
    ContextHandle m_context;
    std::uint64_t m_serial = 0;
    // Taken without the loop's lock by the waiting thread, with it by the loop's thread.
    std::mutex m_signalMutex;
    std::condition_variable m_signalled;
    bool m_signal = false;
};
