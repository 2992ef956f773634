// The light in use: taken at start, changed for another, and taken again after something
// outside Beamwick changed it (the system waking from sleep, the firmware's own brightness keys,
// the desktop's control of the keyboard light).
#include "control/LogoController.h"
#include "control/StoredSettings.h"

QString LogoController::light() const
{
    const auto& state = m_light.state();
    if (const auto* started = std::get_if<DrivenLight::Started>(&state))
        return started->name;
    if (const auto* away = std::get_if<DrivenLight::Away>(&state))
        return away->name;
    return {};
}

bool LogoController::lightIsAutomatic() const
{
    return StoredSettings::string(m_defaults, DrivenLight::choiceKey).isEmpty();
}

const DrivenLight::Table& LogoController::baseMap() const
{
    static const DrivenLight::Table none;
    const auto* started = std::get_if<DrivenLight::Started>(&m_light.state());
    return started ? started->table : none;
}

void LogoController::startLight()
{
    // On or off as the service finds the light: the panel's switch may have been another's.
    emit objectWillChange();
    publish(m_lastError, m_light.start());
}

std::optional<QString> LogoController::chooseLight(const QString& name)
{
    // A switch is a quit for the light in use and a start for the chosen one; asked first, a
    // light the service does not take leaves the one in use untouched.
    if (const auto refused = m_light.choose(name)) {
        publish(m_lastError, refused);
        return refused;
    }
    startLight();
    apply();
    return std::nullopt;
}

void LogoController::handleResume()
{
    // Firmware often resets a backlight while the machine sleeps: the light is taken again, as
    // at start (one away when the machine slept may be back), and on/off and the level go out
    // again even where they are the ones written last.
    startLight();
    m_light.switchOn(isOn());
    // The sound server may have dropped its streams meanwhile: capture is built anew. A capture
    // already cut off from the server is left to reconnect by itself, as it does while awake;
    // starting it afresh would only fail, for good, while the server is still away.
    if (m_mode == LightMode::music && m_capture.isRunning() && !m_capture.isLost())
        m_capture.stopForRestart();
    apply();
}

void LogoController::takeUsersChange(const std::optional<DrivenLight::DesktopLevel>& desktop)
{
    emit objectWillChange();
    if (!m_light.takeUsersChange(desktop))
        return;
    // A light that was away when it was taken had no table to save the brightness in: back now,
    // it is taken afresh, with the brightness the user chose with it.
    if (baseMap().empty())
        startLight();
    apply();
}
