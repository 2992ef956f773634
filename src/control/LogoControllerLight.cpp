// The light in use: taken at start, changed for another, and written again after something
// outside Beamwick changed it (the system waking from sleep, the firmware's own brightness keys,
// the desktop's control of the keyboard light).
#include "control/LogoController.h"

void LogoController::startLight()
{
    if (const auto noTable = m_light.start())
        publish(m_lastError, noTable);
    // On or off as the service finds the light, as at start: the panel's switch was the other
    // light's.
    publish(m_isOn, m_light.foundOn().value_or(true));
}

std::optional<QString> LogoController::chooseLight(const QString& name)
{
    if (!m_light.available())
        return kUnreachableText;
    // A switch is a quit for the light in use and a start for the chosen one.
    m_timer.stop();
    const bool chosen = m_light.switchTo(name);
    // What an earlier start said (no table, no light) was of that start, not of this one.
    if (chosen)
        publish(m_lastError, std::optional<QString>());
    // Whichever light it is now, taken afresh: the one handed back, when the chosen one is gone.
    startLight();
    m_light.watchKeys();
    apply();
    if (chosen)
        return std::nullopt;
    return m_light.refusal(name);
}

void LogoController::handleResume()
{
    // Firmware often resets a backlight while the machine sleeps. The level goes out again even
    // though it is the one written last, which setLevel would otherwise skip.
    m_light.switchOn(m_isOn);
    m_light.forgetLevel();
    // The sound server may have dropped its streams meanwhile: capture is built anew. A capture
    // already cut off from the server is left to reconnect by itself, as it does while awake;
    // starting it afresh would only fail, for good, while the server is still away.
    if (m_mode == LightMode::music && m_isOn && !m_capture.isLost())
        m_capture.stopForRestart();
    apply();
}

void LogoController::handleHardwareChange()
{
    if (m_light.acknowledgeKey())
        takeUsersBrightness();
}

void LogoController::handleDesktopLevel(int brightness, int maxBrightness)
{
    // Ignored where the desktop's control serves another light, or none Beamwick drives.
    if (m_light.available() && m_light.takeDesktopLevel(brightness, maxBrightness))
        takeUsersBrightness();
}

void LogoController::takeUsersBrightness()
{
    // A light that was away when it was taken has no table to save the brightness in: back now,
    // it is taken afresh, the brightness the user chose with it.
    if (m_light.baseMap().empty() && m_light.start())
        return;
    if (const auto on = m_light.foundOn())
        publish(m_isOn, *on);
    // Saved, the brightness the user chose is what later starts dim from and quitting gives
    // back.
    m_light.takeKeyChange();
    apply();
}
