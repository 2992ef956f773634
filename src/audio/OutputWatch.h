#pragma once

#include <cstdint>
#include <functional>
#include <pulse/subscribe.h>
#include <string>

struct pa_context;
struct pa_server_info;

// Tells the capture when the output it listens to is no longer the one to hear: the server's
// default sink became another (headphones plugged in, a Bluetooth speaker connected, another
// output chosen in the sound settings), or the sink heard went away. Lock held, always.
class OutputWatch {
public:
    explicit OutputWatch(std::function<void()> moved) : m_moved(std::move(moved)) {}

    // The capture now listens to this sink; the watch compares later defaults with it. Without
    // a sink (PA_INVALID_INDEX) the capture waits for one: it also moves when a sink appears, in
    // case the server names the same default as before, now back.
    void follow(pa_context* context, std::string sinkName, std::uint32_t sinkIndex);
    // Nothing to compare with until the next follow().
    void end() noexcept { m_following = false; }
    // A sink or the server changed.
    void changed(pa_subscription_event_type_t event, std::uint32_t index);

private:
    void check();
    static void serverInfoArrived(pa_context* context, const pa_server_info* info,
                                  void* self) noexcept;

    std::function<void()> m_moved;
    pa_context* m_context = nullptr;
    std::string m_sinkName;
    std::uint32_t m_sinkIndex = 0;
    bool m_following = false;
};
