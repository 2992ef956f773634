#include "ledservice/LogindWriter.h"

#include <cstdint>
#include <memory>
#include <systemd/sd-bus.h>

namespace {

constexpr const char* kLogind = "org.freedesktop.login1";
// "auto" is the session of the calling process, so the call works for exactly the user sitting
// at this desktop.
constexpr const char* kOwnSession = "/org/freedesktop/login1/session/auto";
constexpr const char* kSessionInterface = "org.freedesktop.login1.Session";

struct Reply {
    bool arrived = false;
    bool ok = false;
};

int onReply(sd_bus_message* message, void* userdata, sd_bus_error*)
{
    auto* reply = static_cast<Reply*>(userdata);
    reply->arrived = true;
    reply->ok = !sd_bus_message_is_method_error(message, nullptr);
    return 0;
}

struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
struct SlotUnref {
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};

std::uint64_t microsecondsOf(std::chrono::steady_clock::duration duration)
{
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(duration).count();
    return us > 0 ? static_cast<std::uint64_t>(us) : 0;
}

} // namespace

LogindWriter::LogindWriter(std::chrono::microseconds timeout, std::chrono::milliseconds backOff)
    : m_timeout(timeout), m_backOff(backOff)
{}

LogindWriter::~LogindWriter()
{
    closeBus();
}

bool LogindWriter::write(const LedDevice& led, unsigned brightness)
{
    if (std::chrono::steady_clock::now() < m_quietUntil)
        return false;
    if (connect() && call(led, brightness))
        return true;
    m_quietUntil = std::chrono::steady_clock::now() + m_backOff;
    return false;
}

bool LogindWriter::connect()
{
    if (m_bus && sd_bus_is_open(m_bus) > 0)
        return true;
    closeBus();
    // Connecting to a local socket does not wait for the bus: authentication and the greeting
    // run inside the bounded wait of the first call.
    if (sd_bus_open_system(&m_bus) < 0) {
        m_bus = nullptr;
        return false;
    }
    return true;
}

bool LogindWriter::call(const LedDevice& led, unsigned brightness)
{
    sd_bus_message* raw = nullptr;
    if (sd_bus_message_new_method_call(m_bus, &raw, kLogind, kOwnSession, kSessionInterface,
                                       "SetBrightness") < 0)
        return false;
    std::unique_ptr<sd_bus_message, MessageUnref> message(raw);
    if (sd_bus_message_append(message.get(), "ssu", "leds", led.name().c_str(),
                              static_cast<std::uint32_t>(brightness)) < 0)
        return false;

    // sd_bus_call() would first wait for the connection to come up without any bound, so the
    // call is sent asynchronously and the wait for its answer is bounded here.
    Reply reply;
    sd_bus_slot* rawSlot = nullptr;
    if (sd_bus_call_async(m_bus, &rawSlot, message.get(), onReply, &reply,
                          static_cast<std::uint64_t>(m_timeout.count())) < 0)
        return false;
    std::unique_ptr<sd_bus_slot, SlotUnref> slot(rawSlot);

    const auto deadline = std::chrono::steady_clock::now() + m_timeout;
    while (!reply.arrived) {
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero())
            break;
        const int processed = sd_bus_process(m_bus, nullptr);
        if (processed < 0)
            break;
        if (processed == 0 && sd_bus_wait(m_bus, microsecondsOf(left)) < 0)
            break;
    }
    if (!reply.arrived) {
        // Whatever is still on its way belongs to a call given up on; start afresh next time.
        slot.reset();
        closeBus();
        return false;
    }
    return reply.ok;
}

void LogindWriter::closeBus()
{
    // Not the flushing variant: flushing waits for the bus without a bound.
    if (m_bus)
        sd_bus_close_unref(m_bus);
    m_bus = nullptr;
}
