#pragma once

#include "ledservice/LedWriter.h"
#include "systembus/SdBus.h"

#include <chrono>

// Sets the brightness through logind's SetBrightness("leds", name, value) on the caller's own
// session, which a user in an active desktop session may do without root. Every call is bounded
// by `timeout`; after a failure, logind is left alone for `backOff` so that a missing or stuck
// logind costs at most one timeout now and then, not one per write.
class LogindWriter final : public LedWriter {
public:
    explicit LogindWriter(std::chrono::microseconds timeout,
                          std::chrono::milliseconds backOff = std::chrono::seconds(5));
    ~LogindWriter() override;
    LogindWriter(const LogindWriter&) = delete;
    LogindWriter& operator=(const LogindWriter&) = delete;

    bool write(const LedDevice& led, unsigned brightness) override;

private:
    bool connect();
    bool call(const LedDevice& led, unsigned brightness);

    std::chrono::microseconds m_timeout;
    std::chrono::milliseconds m_backOff;
    std::chrono::steady_clock::time_point m_quietUntil{};
    sdbus::Bus m_bus;
};
