#include "testkit/audio/MeterHarness.h"

#include "testkit/support/EventLoop.h"

#include <algorithm>

void MeterHarness::SetUp()
{
    ASSERT_TRUE(server.start()) << server.errorText() << "\n" << server.log();
}

PulseAudioMeter& MeterHarness::makeMeter(PulseAudioMeter::Options options)
{
    options.server = server.address();
    meter = std::make_unique<PulseAudioMeter>(std::move(options));
    meter->setOnLevel([this](double bass, double average) {
        levels.push_back({Clock::now(), bass, average});
    });
    meter->setOnInterruption(
        [this](const std::optional<MeterError>& lost) { interruptions.push_back(lost); });
    meter->setOnActivity([this](bool flowing) { activity.push_back(flowing); });
    return *meter;
}

int MeterHarness::listenerStreams() const
{
    return countListed("source-outputs", "media.name = \"Beamwick Listener\"");
}

int MeterHarness::countListed(const std::string& what, const std::string& needle) const
{
    const std::string output = server.pactl("list " + what);
    int count = 0;
    for (std::size_t at = output.find(needle); at != std::string::npos;
         at = output.find(needle, at + 1))
        ++count;
    return count;
}

bool MeterHarness::waitForMoreLevels(std::size_t count, std::chrono::milliseconds watchdog)
{
    const std::size_t target = levels.size() + count;
    return spinUntil([&] { return levels.size() >= target; }, watchdog);
}

std::vector<double> MeterHarness::levelsBetween(Clock::time_point from, Clock::time_point to) const
{
    std::vector<double> out;
    for (const Report& report : levels)
        if (report.at >= from && report.at < to)
            out.push_back(report.bass);
    return out;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

std::optional<MeterError> startError(AudioMeter& meter)
{
    try {
        meter.start();
    } catch (const MeterError& error) {
        EXPECT_EQ(error.errorDescription(),
                  error.step() + " failed, code " + std::to_string(error.status()));
        EXPECT_FALSE(meter.isRunning());
        return error;
    }
    ADD_FAILURE() << "start() succeeded";
    meter.stop();
    return std::nullopt;
}
