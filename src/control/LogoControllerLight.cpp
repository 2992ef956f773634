// Which light is driven: the user's saved choice at start, and a change of light while running.
#include "control/LogoController.h"
#include "control/StoredSettings.h"
#include "platform/DefaultsStore.h"
#include "serviceabi/ServiceContract.h"

#include <algorithm>

namespace {

constexpr const char* kLightKey = "light";

} // namespace

std::vector<QString> LogoController::lights() const
{
    std::vector<QString> names;
    const auto listed = m_bs->get(ServiceContract::lightsKey);
    if (!listed || !listed->isArray())
        return names;
    for (const auto& name : listed->items()) {
        if (name.isString())
            names.push_back(QString::fromStdString(name.stringValue()));
    }
    return names;
}

QString LogoController::light() const
{
    const auto name = m_bs->get(ServiceContract::lightKey);
    return name && name->isString() ? QString::fromStdString(name->stringValue()) : QString();
}

bool LogoController::lightIsAutomatic() const
{
    return StoredSettings::string(m_defaults, kLightKey).isEmpty();
}

void LogoController::takeSavedLight()
{
    // Before the factory table is looked for: it is the chosen light's. A light that has gone
    // since leaves the service with its own pick.
    const QString saved = StoredSettings::string(m_defaults, kLightKey);
    if (!saved.isEmpty())
        m_bs->set(PropertyValue::string(saved.toStdString()), ServiceContract::preferredLightKey);
}

void LogoController::startLight()
{
    loadFactoryTable();
    // Held from now until handed back: a run that ends without quitting leaves it to the next.
    if (!m_baseMap.empty())
        m_tables.noteHandBack(light(), m_lightInUse.value_or(QString()), false);
    // A key pressed while Beamwick did not drive the light is how bright the user wants it.
    recaptureFactoryBrightness();
    // On or off as the service finds the light, as at start: the panel's switch was the other
    // light's.
    const auto backlight = m_bs->get(ServiceContract::backlightModeKey);
    publish(m_isOn, backlight && backlight->isNumber() ? backlight->integerValue() != 0 : true);
}

std::optional<QString> LogoController::chooseLight(const QString& name)
{
    if (!m_bs->available())
        return kUnreachableText;
    // A switch is a quit for the light in use and a start for the chosen one.
    stopTimer();
    handBackLight();
    retryHandBacks();
    const bool chosen =
        m_bs->set(PropertyValue::string(name.toStdString()), ServiceContract::lightKey);
    if (chosen) {
        m_defaults.setObject(QString::fromLatin1(kLightKey), name);
        // What an earlier start said (no table, no light) was of that start, not of this one.
        publish(m_lastError, std::optional<QString>());
    }
    // Whichever light it is now, taken afresh: the one handed back, when the chosen one is gone.
    startLight();
    watchHardwareChanges();
    m_lastApplied = -1.0;
    apply();
    if (chosen)
        return std::nullopt;
    if (name.isEmpty())
        return QStringLiteral("There is no light for Automatic to choose.");
    const auto there = lights();
    if (std::find(there.begin(), there.end(), name) == there.end())
        return QStringLiteral("The light %1 is not there any more.").arg(name);
    return QStringLiteral("The system refused to drive the light %1.").arg(name);
}
