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

} // namespace

void LogoController::apply()
{
    m_timer.stop();
    // A flash still waiting belongs to the mode, level and switch that were.
    m_flashes.clear();

    // Held dark, nothing listens or ticks: the light comes back from the settings as they are
    // then, through here.
    if (m_darkReason) {
        m_capture.end();
        m_light.darken();
        return;
    }
    const bool on = isOn();
    const bool dims = !baseMap().empty();
    // Music without a table to dim by has nothing to flash: it does not listen, and says why.
    if (m_mode == LightMode::music && on && !dims)
        m_capture.endWithNothingToFlash();
    else if (!(m_mode == LightMode::music && on))
        m_capture.end();
    if (!on || !dims)
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
        m_light.setFollowTau(kFollowTau);
        startTimer();
        m_capture.start();
        break;
    }
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
        const Clock::TimePoint beatUntil = m_flashStart + kFlashLength;
        const bool flashing = m_clock.now() < beatUntil;
        const auto shown = m_light.setLevel(flashing ? m_brightness : kMinLevel);
        // Nothing plays, the flash is over and its end is written: every further tick would
        // write nothing, so let the process sleep until the capture resumes.
        if (m_capture.isPaused() && !flashing && shown == kMinLevel)
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
    // The block was measured as it reached the output's monitor; it is heard this much later,
    // and the user may know better.
    const Clock::Duration lead = m_capture.timing().lead() + delayHeard();
    if (lead <= Clock::Duration::zero())
        return flash(now);
    m_flashes.add(now + lead, now);
}

void LogoController::flash(Clock::TimePoint heard)
{
    m_flashStart = heard;
    m_light.setLevel(m_brightness);
}

void LogoController::showDueFlash()
{
    const auto heard = m_flashes.ring(m_clock.now());
    if (!heard || !musicRunning())
        return;
    flash(*heard);
    // The ticks may have gone to sleep with the audio while this flash waited; they end it.
    m_timer.wake();
}

bool LogoController::musicRunning() const
{
    // The capture runs only while Music has the light on: every switch goes through apply().
    return m_mode == LightMode::music && m_capture.isRunning();
}
