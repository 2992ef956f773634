#pragma once

#include "audio/PulseAudioMeter.h"
#include "testkit/services/PrivateSoundServer.h"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A private sound server and a meter pointed at it that records what it reports.
class MeterHarness : public ::testing::Test {
protected:
    using Clock = std::chrono::steady_clock;

    struct Report {
        Clock::time_point at;
        double bass;
        double average;
    };

    void SetUp() override;

    PulseAudioMeter& makeMeter(PulseAudioMeter::Options options = {});
    // How many record streams named "Beamwick Listener" the server has.
    int listenerStreams() const;
    // How many times `needle` occurs in what `pactl list <what>` prints.
    int countListed(const std::string& what, const std::string& needle) const;
    // Spins until at least `count` more levels have arrived than now; false on timeout.
    bool waitForMoreLevels(std::size_t count, std::chrono::milliseconds watchdog);
    // The bass levels delivered within [from, to).
    std::vector<double> levelsBetween(Clock::time_point from, Clock::time_point to) const;

    PrivateSoundServer server;
    std::unique_ptr<PulseAudioMeter> meter;
    std::vector<Report> levels;
    std::vector<std::optional<MeterError>> interruptions;
    // Each report that levels stop (false) or flow again (true).
    std::vector<bool> activity;
};

double median(std::vector<double> values);

// The error a start of the meter threw, or nothing (and a test failure) if it started. Checks
// that the description reads "<step> failed, code <status>" and that nothing is left running.
std::optional<MeterError> startError(AudioMeter& meter);
