// Which light is driven: what earlier runs left at start, the hand-back at quit, and a change of
// light while running.
#include "control/DrivenLight.h"
#include "control/StoredSettings.h"
#include "platform/DefaultsStore.h"
#include "serviceabi/ServiceContract.h"

#include <algorithm>

std::vector<QString> DrivenLight::lights() const
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

void DrivenLight::takeOver()
{
    // A table from a version that named no light is the light that version would drive now,
    // before the user's choice moves the service to another.
    if (const auto table = serviceTable())
        m_tables.adoptEarlierTable(FactoryTables::lightOf(*table));
    // The choice goes before the factory table is looked for: it is the chosen light's. A light
    // that has gone since leaves the service with its own pick.
    const QString saved = StoredSettings::string(m_defaults, choiceKey);
    if (!saved.isEmpty())
        m_bs->set(PropertyValue::string(saved.toStdString()), ServiceContract::preferredLightKey);
    // The light in use stays Beamwick's: a run that ended without quitting left it driven.
    retryHandBacks(serviceName());
}

void DrivenLight::handBack()
{
    if (const auto* started = std::get_if<Started>(&m_state); started && !started->table.empty()) {
        // The whole factory rows, not just the two numbers dimming writes: this is the table the
        // service had before Beamwick ran.
        const bool back =
            m_bs->set(PropertyValue::table(started->table), ServiceContract::tableKey);
        m_tables.noteHandBack(started->name, started->light.value_or(QString()), back);
    }
    retryHandBacks();
}

void DrivenLight::retryHandBacks(const QString& leaving)
{
    m_tables.retryHandBacks(leaving, [this](const QString& name,
                                            const std::optional<Table>& table) {
        return !table || m_bs->set(PropertyValue::array({PropertyValue::string(name.toStdString()),
                                                         PropertyValue::table(*table)}),
                                   ServiceContract::handBackKey);
    });
}

std::optional<QString> DrivenLight::choose(const QString& name)
{
    if (std::holds_alternative<Unreachable>(m_state))
        return refusal(name);
    if (!m_bs->set(PropertyValue::string(name.toStdString()), ServiceContract::lightKey))
        return refusal(name);
    m_defaults.setObject(QString::fromLatin1(choiceKey), name);
    // A switch is a quit for the light driven until then, which the service has let go of: it
    // gets its factory state back by name. The chosen light stays Beamwick's, whatever an earlier
    // run left on it.
    if (const auto* left = std::get_if<Started>(&m_state); left && !left->table.empty()) {
        const bool back =
            m_bs->set(PropertyValue::array({PropertyValue::string(left->name.toStdString()),
                                            PropertyValue::table(left->table)}),
                      ServiceContract::handBackKey);
        m_tables.noteHandBack(left->name, left->light.value_or(QString()), back);
    }
    retryHandBacks(serviceName());
    m_state = Away{serviceName()};
    return std::nullopt;
}

QString DrivenLight::refusal(const QString& name) const
{
    if (std::holds_alternative<Unreachable>(m_state))
        return QStringLiteral("Couldn't reach the system's brightness service.");
    if (name.isEmpty())
        return QStringLiteral("There is no light for Automatic to choose.");
    const auto there = lights();
    if (std::find(there.begin(), there.end(), name) == there.end())
        return QStringLiteral("The light %1 is not there any more.").arg(name);
    return QStringLiteral("The system refused to drive the light %1.").arg(name);
}
