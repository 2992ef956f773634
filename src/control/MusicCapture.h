#pragma once

#include "audio/AudioMeter.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

// Music's audio capture: the meter, and what has become of it since Music last started it, which
// Music's status line is read from. The owner publishes the status: willChange is called before
// every change of it.
class MusicCapture {
public:
    // The meter is required (std::invalid_argument).
    MusicCapture(std::unique_ptr<AudioMeter> meter, std::function<void()> willChange);

    AudioMeter& meter() { return *m_meter; }
    bool isRunning() const { return m_meter->isRunning(); }
    // Cut off from the sound server, and listening again as soon as it is back.
    bool isLost() const { return m_lost.has_value(); }
    // Nothing plays on the output, so no levels come until the capture says they flow again.
    bool isPaused() const { return m_paused; }
    QString status() const;

    // Starts listening; a capture already listening goes on as it was. The status tells which.
    void start();
    // Stops listening and forgets what the capture said of itself: the status is empty.
    void end();
    // Stops listening, or does not begin, for a light that cannot be dimmed: the status says so.
    void endWithNothingToFlash();
    // Stops listening for a fresh start that follows; the status stays until that start.
    void stopForRestart();

    // What the running capture says of itself.
    void noteLost(const std::optional<MeterError>& lost);
    void notePaused(bool paused) { m_paused = paused; }
    void noteTiming(const AudioMeter::OutputTiming& timing);
    // The output heard and how far it runs ahead of the ear, as last reported by this run; none
    // and 0 until the first report.
    const AudioMeter::OutputTiming& timing() const { return m_timing; }
    // Its lead as the status shows it: a figure that jitters by a few milliseconds is not worth
    // a redrawn panel and a word on the bus each time. The flashes go by the exact one.
    std::chrono::microseconds shownLead() const { return m_shownLead; }

private:
    enum class Step { stopped, nothingToFlash, starting, failed, listening };

    std::unique_ptr<AudioMeter> m_meter;
    std::function<void()> m_willChange;
    Step m_step = Step::stopped;
    // Why the last start failed, and why the capture lost the audio, in the meter's words.
    QString m_failure;
    std::optional<QString> m_lost;
    bool m_paused = false;
    AudioMeter::OutputTiming m_timing;
    std::chrono::microseconds m_shownLead{0};
};
