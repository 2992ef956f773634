// Which light is driven: what earlier runs left at start, the hand-back at quit, and a change of
// light while running.
#include "control/DrivenLight.h"
#include "platform/DefaultsStore.h"
#include "serviceabi/ServiceContract.h"

#include <algorithm>

namespace {

constexpr const char* kChoiceKey = "light";

} // namespace

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

QString DrivenLight::name() const
{
    const auto name = m_bs->get(ServiceContract::lightKey);
    return name && name->isString() ? QString::fromStdString(name->stringValue()) : QString();
}

bool DrivenLight::isAutomatic() const
{
    return StoredSettings::string(m_defaults, kChoiceKey).isEmpty();
}

bool DrivenLight::takeOver()
{
    // A table from a version that named no light is the light that version would drive now,
    // before the user's choice moves the service to another.
    if (const auto table = serviceTable())
        m_tables.adoptEarlierTable(FactoryTables::lightOf(*table));
    // The choice goes before the factory table is looked for: it is the chosen light's. A light
    // that has gone since leaves the service with its own pick.
    const QString saved = StoredSettings::string(m_defaults, kChoiceKey);
    if (!saved.isEmpty())
        m_bs->set(PropertyValue::string(saved.toStdString()), ServiceContract::preferredLightKey);
    // The light in use stays Beamwick's: a run that ended without quitting left it driven.
    retryHandBacks(name());
    const auto inUse = m_bs->get(ServiceContract::lightKey);
    return !(inUse && inUse->isString() && inUse->stringValue().empty());
}

void DrivenLight::handBack()
{
    if (!baseMap().empty()) {
        // The whole factory rows, not just the two numbers dimming writes: this is the table the
        // service had before Beamwick ran.
        const bool back = m_bs->set(PropertyValue::table(baseMap()), mapKey);
        m_tables.noteHandBack(name(), m_inUse->light.value_or(QString()), back);
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

bool DrivenLight::switchTo(const QString& name)
{
    // A switch is a quit for the light in use.
    handBack();
    const bool chosen =
        m_bs->set(PropertyValue::string(name.toStdString()), ServiceContract::lightKey);
    if (chosen)
        m_defaults.setObject(QString::fromLatin1(kChoiceKey), name);
    return chosen;
}

QString DrivenLight::refusal(const QString& name) const
{
    if (name.isEmpty())
        return QStringLiteral("There is no light for Automatic to choose.");
    const auto there = lights();
    if (std::find(there.begin(), there.end(), name) == there.end())
        return QStringLiteral("The light %1 is not there any more.").arg(name);
    return QStringLiteral("The system refused to drive the light %1.").arg(name);
}
