#include "ledservice/LogindWriter.h"

#include <cstdint>
#include <utility>

namespace {

struct Reply {
    bool arrived = false;
    bool ok = false;
};

int onReply(sd_bus_message* message, void* userdata, sd_bus_error*)
{
    auto* reply = static_cast<Reply*>(userdata);
    reply->arrived = true;
    reply->ok = !sdbus::isError(message);
    return 0;
}

} // namespace

LogindWriter::LogindWriter(std::chrono::microseconds timeout, std::chrono::milliseconds backOff)
    : m_timeout(timeout), m_backOff(backOff)
{}

// The bus goes without flushing: flushing waits for the bus without a bound.
LogindWriter::~LogindWriter() = default;

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
    if (m_bus.isOpen())
        return true;
    m_bus.close();
    auto opened = sdbus::Bus::openSystem();
    if (!opened)
        return false;
    m_bus = std::move(*opened);
    return true;
}

bool LogindWriter::call(const LedDevice& led, unsigned brightness)
{
    auto message = m_bus.methodCall(system_names::logindOwnSession, "SetBrightness");
    if (!message || !sdbus::append(*message, "ssu", "leds", led.name().c_str(),
                                   static_cast<std::uint32_t>(brightness)))
        return false;

    // sd_bus_call() would first wait for the connection to come up without any bound, so the
    // call is sent asynchronously and the wait for its answer is bounded here.
    Reply reply;
    auto slot = m_bus.callAsync(*message, onReply, &reply, m_timeout);
    if (!slot)
        return false;

    const auto deadline = std::chrono::steady_clock::now() + m_timeout;
    while (!reply.arrived) {
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero())
            break;
        auto processed = m_bus.processOne();
        if (!processed)
            break;
        if (!*processed && !m_bus.wait(std::chrono::duration_cast<std::chrono::microseconds>(left)))
            break;
    }
    if (!reply.arrived) {
        // Whatever is still on its way belongs to a call given up on; start afresh next time.
        slot->reset();
        m_bus.close();
        return false;
    }
    return reply.ok;
}
