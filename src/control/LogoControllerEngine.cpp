// The effect engine: how bright the light is at every moment.
#include "control/BeatRule.h"
#include "control/LogoController.h"

#include <chrono>
#include <cmath>

namespace {

constexpr double kTickSeconds = 0.05;
constexpr double kMinLevel = DrivenLight::minLevel;
constexpr double kTwoPi = 6.283185307179586;
constexpr std::chrono::milliseconds kFlashLength{140};
constexpr double kFollowTau = 0.01;

const QString kStarting = QStringLiteral("Starting audio…");
const QString kReacting = QStringLiteral("Reacting to the bass in your computer's audio");

QString listenFailure(const QString& description)
{
    return QStringLiteral("Couldn't listen to audio (") + description +
           QStringLiteral("). Check that PulseAudio or PipeWire is running in your session.");
}

} // namespace

void LogoController::apply()
{
    m_timer.stop();

    if (!(m_mode == LightMode::music && m_isOn)) {
        stopCapture();
        publish(m_musicStatus, QString());
    }
    if (!m_isOn || m_light.baseMap().empty())
        return;

    switch (m_mode) {
    case LightMode::steady:
        m_light.setLevel(m_brightness);
        break;
    case LightMode::breathe:
        m_phase = 0.0;
        startTimer();
        break;
    case LightMode::music:
        startMusic();
        break;
    }
}

void LogoController::startMusic()
{
    m_light.setFollowTau(kFollowTau);
    startTimer();
    publish(m_musicStatus, kStarting);
    try {
        m_meter->start();
    } catch (const MeterError& error) {
        publish(m_musicStatus, listenFailure(QString::fromStdString(error.errorDescription())));
        return;
    } catch (const std::exception& error) {
        publish(m_musicStatus, listenFailure(QString::fromLocal8Bit(error.what())));
        return;
    }
    // Already listening but cut off from the sound server: starting again changed nothing, and
    // claiming to react would be false until the capture reports it is back.
    publish(m_musicStatus, m_captureLostStatus.value_or(kReacting));
}

void LogoController::tick()
{
    switch (m_mode) {
    case LightMode::steady:
        return;
    case LightMode::breathe: {
        // A breath length of zero, below zero or not a number (only a hand-edited settings file
        // holds one) would throw the phase to infinity for good; hold the breath instead.
        const double step = kTickSeconds / m_breatheSeconds;
        if (m_breatheSeconds > 0 && std::isfinite(step))
            m_phase = m_phase + step;
        const double c = std::cos(m_phase * kTwoPi);
        const double w = 0.5 - c * 0.5;
        m_light.setLevel(w * (m_brightness - floorLevel) + floorLevel);
        return;
    }
    case LightMode::music: {
        const bool flashing = m_clock.now() < m_beatUntil;
        m_light.setLevel(flashing ? m_brightness : kMinLevel);
        // Nothing plays, the flash is over and its end is written: every further tick would
        // write nothing, so let the process sleep until the capture resumes.
        if (m_captureIdle && !flashing && m_light.lastApplied() == kMinLevel)
            m_timer.sleep();
        return;
    }
    }
}

void LogoController::handleAudio(double bass, double average)
{
    // A level posted before Music stopped (or of a capture stopped since) must not flash a light
    // that another mode now drives.
    if (!musicRunning())
        return;
    const Clock::TimePoint now = m_clock.now();
    const double since = std::chrono::duration<double>(now - m_lastBeat).count();
    if (!beat_rule::accepts(bass, average, m_sensitivity, since))
        return;
    m_lastBeat = now;
    m_beatUntil = now + kFlashLength;
    m_light.setLevel(m_brightness);
}

void LogoController::stopCapture()
{
    m_meter->stop();
    // What the capture said of itself goes with it: a fresh start begins listening and says
    // nothing of a pause until there is one, and reports of the stopped run never arrive.
    m_captureLostStatus.reset();
    m_captureIdle = false;
}

bool LogoController::musicRunning() const
{
    return m_mode == LightMode::music && m_isOn && m_meter->isRunning();
}

void LogoController::handleCaptureInterruption(const std::optional<MeterError>& lost)
{
    // Only a running Music mode shows the capture's state; anything else has cleared it.
    if (!musicRunning())
        return;
    if (lost) {
        m_captureLostStatus = QStringLiteral("Lost the audio (") +
                              QString::fromStdString(lost->errorDescription()) +
                              QStringLiteral(") — listening again as soon as it is back…");
    } else {
        m_captureLostStatus.reset();
    }
    publish(m_musicStatus, m_captureLostStatus.value_or(kReacting));
}

void LogoController::handleCaptureActivity(bool flowing)
{
    if (!musicRunning())
        return;
    m_captureIdle = !flowing;
    // Ticks resume with the audio, so the first flash after a pause ends on time.
    if (flowing)
        m_timer.wake();
}
