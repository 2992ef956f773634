#pragma once

#include "audio/AudioMeter.h"
#include "audio/SoundServer.h"

#include <optional>
#include <string>

// Which of the server's timing updates are worth a trip to the main thread: the first for each
// output, and any that moves a figure by a millisecond or more. The server brings a stream's
// timing up to date every second or so, mostly by a few microseconds, and a flash a millisecond
// off is not seen.
class TimingReport {
public:
    static constexpr std::chrono::microseconds step{1000};

    // What to report of this update, if anything.
    std::optional<AudioMeter::OutputTiming> update(const std::string& output,
                                                   const SoundServer::Timing& timing);

private:
    std::optional<AudioMeter::OutputTiming> m_last;
};
