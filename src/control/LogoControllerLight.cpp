// Which light is driven: the light in use taken at start, and a change of light while running.
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
