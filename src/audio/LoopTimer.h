#pragma once

#include <chrono>
#include <functional>
#include <pulse/mainloop-api.h>

// A one-shot timer on the client library's loop: its work runs on the loop's thread with the
// loop's lock held, like every other callback of the capture. Arm, re-arm and cancel it with the
// lock held too; it must be cancelled (or destroyed) before its loop is freed.
class LoopTimer {
public:
    explicit LoopTimer(pa_mainloop_api* api) : m_api(api) {}
    ~LoopTimer() { cancel(); }

    LoopTimer(const LoopTimer&) = delete;
    LoopTimer& operator=(const LoopTimer&) = delete;

    // Runs `fire` once, `delay` from now; replaces whatever was armed.
    void arm(std::chrono::steady_clock::duration delay, std::function<void()> fire);
    void cancel() noexcept;
    bool armed() const { return m_event != nullptr; }

private:
    static void expired(pa_mainloop_api* api, pa_time_event* event, const timeval* when,
                        void* self) noexcept;

    pa_mainloop_api* m_api;
    pa_time_event* m_event = nullptr;
    std::function<void()> m_fire;
};
