// The light held dark though on: while nobody can see it, or while the user asked for it dark.
#include "control/LogoController.h"
#include "control/StoredSettings.h"
#include "platform/DefaultsStore.h"

namespace {

constexpr const char* kWhenLockedKey = "darkWhenLocked";
constexpr const char* kOnBatteryKey = "darkOnBattery";

} // namespace

void LogoController::loadDarkChoices()
{
    publish(m_darkChoices,
            DarkChoices{StoredSettings::flag(m_defaults, kWhenLockedKey).value_or(false),
                        StoredSettings::flag(m_defaults, kOnBatteryKey).value_or(false)});
}

void LogoController::setDarkWhenLocked(bool dark)
{
    setDarkChoice(&DarkChoices::whenLocked, kWhenLockedKey, dark);
}

void LogoController::setDarkOnBattery(bool dark)
{
    setDarkChoice(&DarkChoices::onBattery, kOnBatteryKey, dark);
}

void LogoController::setDarkChoice(bool DarkChoices::*choice, const char* key, bool dark)
{
    DarkChoices choices = m_darkChoices;
    choices.*choice = dark;
    publish(m_darkChoices, choices);
    m_defaults.setObject(QString::fromLatin1(key), dark);
    reconsiderDark();
}

std::optional<DarkReason> LogoController::darkReasonNow() const
{
    return m_darkConditions ? darkReasonFor(m_darkConditions->values(), m_darkChoices)
                            : std::nullopt;
}

void LogoController::reconsiderDark()
{
    const auto reason = darkReasonNow();
    if (reason == m_darkReason)
        return;
    publish(m_darkReason, reason);
    // A service with no light to drive has nothing to hold dark or to let back.
    if (!std::holds_alternative<DrivenLight::NoLight>(m_light.state()))
        apply();
}
