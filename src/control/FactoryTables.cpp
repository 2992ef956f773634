#include "control/FactoryTables.h"

#include "platform/DefaultsStore.h"
#include "serviceabi/FactoryRows.h"

#include <QJsonObject>

namespace {

constexpr const char* kTableKey = "baseMap";
constexpr const char* kTablesKey = "baseMaps";
constexpr const char* kHandBackKey = "handBack";

} // namespace

FactoryTables::FactoryTables(DefaultsStore& defaults)
    : m_defaults(defaults), m_tables(StoredSettings::factoryTables(defaults, kTablesKey))
{
    // "baseMap" may be newer than its light's entry: earlier versions saved a brightness key's
    // change there alone.
    m_inUse = StoredSettings::factoryTable(defaults, kTableKey);
    if (m_inUse) {
        if (const auto light = lightOf(*m_inUse); light && of(light) != m_inUse) {
            m_tables.insert_or_assign(*light, *m_inUse);
            m_tablesChanged = true;
        } else
            m_unnamed = m_inUse;
    }
    const auto held = defaults.object(QString::fromLatin1(kHandBackKey));
    const QJsonObject lights = held && held->isObject() ? held->toObject() : QJsonObject();
    for (auto it = lights.begin(); it != lights.end(); ++it) {
        if (!it.key().isEmpty() && it.value().isString())
            m_awaitingHandBack.emplace(it.key(), it.value().toString());
    }
}

std::optional<QString> FactoryTables::lightOf(const Table& table)
{
    const auto code = FactoryRows::lightOf(table);
    if (!code)
        return std::nullopt;
    return QString::number(*code, 'f', 0);
}

void FactoryTables::adoptEarlierTable(const std::optional<QString>& light)
{
    if (!light || !m_unnamed || !m_tables.empty())
        return;
    m_tables.emplace(*light, std::move(*m_unnamed));
    m_unnamed.reset();
    saveTables();
    m_defaults.flush();
}

std::optional<FactoryTables::Table> FactoryTables::of(const std::optional<QString>& light) const
{
    if (!light)
        return m_inUse;
    const auto known = m_tables.find(*light);
    if (known == m_tables.end())
        return std::nullopt;
    return known->second;
}

void FactoryTables::saveInUse(const std::optional<QString>& light, const Table& table)
{
    if (light && (m_tablesChanged || of(light) != table)) {
        m_tables.insert_or_assign(*light, table);
        saveTables();
    }
    if (m_inUse == table)
        return;
    m_inUse = table;
    m_defaults.setObject(QString::fromLatin1(kTableKey), StoredSettings::tableToJson(table));
    m_defaults.flush();
}

void FactoryTables::noteHandBack(const QString& name, const QString& light, bool handedBack)
{
    const auto known = m_awaitingHandBack.find(name);
    const bool noted = known != m_awaitingHandBack.end() && known->second == light;
    if (name.isEmpty() || light.isEmpty() || noted == !handedBack)
        return;
    if (handedBack)
        m_awaitingHandBack.erase(name);
    else
        m_awaitingHandBack.insert_or_assign(name, light);
    saveHandBacks();
}

void FactoryTables::retryHandBacks(const QString& leaving, const GiveBack& giveBack)
{
    for (auto held = m_awaitingHandBack.begin(); held != m_awaitingHandBack.end();) {
        const auto& [name, light] = *held;
        // An entry naming no table (only a hand-edited file holds one) is offered but kept, as
        // noteHandBack keeps it.
        if (name == leaving || !giveBack(name, of(light)) || light.isEmpty()) {
            ++held;
            continue;
        }
        held = m_awaitingHandBack.erase(held);
        saveHandBacks();
    }
}

void FactoryTables::saveHandBacks()
{
    QJsonObject held;
    for (const auto& [name, light] : m_awaitingHandBack)
        held.insert(name, light);
    m_defaults.setObject(QString::fromLatin1(kHandBackKey), held);
    m_defaults.flush();
}

void FactoryTables::saveTables()
{
    m_tablesChanged = false;
    m_defaults.setObject(QString::fromLatin1(kTablesKey), StoredSettings::tablesToJson(m_tables));
}
