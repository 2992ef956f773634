// Which light is driven: the user's saved choice at start, and a change of light while running.
#include "control/LogoController.h"
#include "control/StoredSettings.h"
#include "platform/DefaultsStore.h"
#include "serviceabi/ServiceContract.h"

namespace {

constexpr const char* kLightKey = "light";
constexpr const char* kBacklightModeKey = ServiceContract::backlightModeKey;

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

void LogoController::chooseLight(const QString& name)
{
    m_defaults.setObject(QString::fromLatin1(kLightKey), name);
    if (!m_bs->available())
        return;

    // The light in use goes back to its factory state, as at quit, before another takes over.
    stopTimer();
    if (!m_baseMap.empty())
        m_bs->set(PropertyValue::table(m_baseMap), mapKey);
    if (m_bs->set(PropertyValue::string(name.toStdString()), ServiceContract::lightKey)) {
        m_baseMap.clear();
        loadFactoryTable();
        // The level first, so that switched on the new light shows it at once, from its own
        // factory brightness; then the light follows the switch as the user left it.
        m_lastApplied = -1.0;
        setLevel(m_mode == LightMode::steady ? m_brightness : floorLevel);
        if (!m_bs->set(PropertyValue::integer(m_isOn ? 1 : 0), kBacklightModeKey)) {
            const auto backlight = m_bs->get(kBacklightModeKey);
            publish(m_isOn,
                    backlight && backlight->isNumber() ? backlight->integerValue() != 0 : true);
        }
        watchHardwareChanges();
    }
    // Written anew whichever light it is now, though the level may be the one written last.
    m_lastApplied = -1.0;
    apply();
}
