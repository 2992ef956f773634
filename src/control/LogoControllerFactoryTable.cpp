// The factory tables: one saved per light, so that each light's own brightness and trigger
// outlive any order of runs, kills and changes of light.
#include "control/LogoController.h"
#include "control/StoredSettings.h"
#include "platform/DefaultsStore.h"
#include "serviceabi/ServiceContract.h"

namespace {

const QString kNoTable = QStringLiteral("Brightness table not found — dimming unavailable.");
// The table of the light in use, and the tables of every light met, by the number naming it.
constexpr const char* kTableKey = "baseMap";
constexpr const char* kTablesKey = "baseMaps";

// The light a table names, as its key among the saved tables; nothing when it names none.
std::optional<QString> lightOf(const LogoController::Table& table)
{
    const auto code = PropertyValue::sameInEveryRow(table, ServiceContract::tableIdentityIndex);
    if (!code)
        return std::nullopt;
    return QString::number(*code, 'f', 0);
}

} // namespace

void LogoController::loadFactoryTable()
{
    auto saved = StoredSettings::factoryTable(m_defaults, kTableKey);
    auto current = serviceTable();
    const auto light = current ? lightOf(*current) : std::nullopt;
    const auto savedLight = saved ? lightOf(*saved) : std::nullopt;
    // The saved table wins over the service's as long as it may be this light's: one that names
    // no light (an earlier version's) is taken as the chosen light's.
    if (saved && (!light || !savedLight || savedLight == light)) {
        m_baseMap = std::move(*saved);
        return;
    }
    if (!current) {
        publish(m_lastError, std::optional<QString>(kNoTable));
        return;
    }
    if (!light) {
        saveFactoryTable(std::move(*current));
        return;
    }

    // Another light is in use than the one the table was saved for: that table is kept as its
    // light's, and this light takes its own from earlier. Only a light met for the first time is
    // captured as found, so a light never takes the state another run left it in as factory's.
    auto tables = StoredSettings::factoryTables(m_defaults, kTablesKey);
    if (saved)
        tables.insert_or_assign(*savedLight, std::move(*saved));
    const auto known = tables.find(*light);
    Table table = known != tables.end() ? known->second : std::move(*current);
    tables.insert_or_assign(*light, table);
    m_defaults.setObject(QString::fromLatin1(kTablesKey), StoredSettings::tablesToJson(tables));
    saveFactoryTable(std::move(table));
}

std::optional<LogoController::Table> LogoController::serviceTable() const
{
    const auto captured = m_bs->get(mapKey);
    auto table = captured ? captured->asTable() : std::nullopt;
    if (!table || !StoredSettings::isUsableFactoryTable(*table))
        return std::nullopt;
    return table;
}

void LogoController::saveFactoryTable(Table table)
{
    m_baseMap = std::move(table);
    m_defaults.setObject(QString::fromLatin1(kTableKey), StoredSettings::tableToJson(m_baseMap));
    // Lose the factory table and a later start would capture a dimmed one as the factory's.
    m_defaults.flush();
}

void LogoController::recaptureFactoryBrightness()
{
    // A brightness key sets how bright the user wants the light: the service's table now carries
    // it. The rest of the saved rows stays: the trigger the service sees now may be Beamwick's
    // own detaching, never the user's.
    const auto table = serviceTable();
    if (m_baseMap.empty() || !table || table->empty())
        return;
    constexpr std::size_t found = ServiceContract::tableFoundIndex;
    Table kept = m_baseMap;
    if (kept.size() != table->size())
        kept = *table;
    for (std::size_t row = 0; row < kept.size(); ++row)
        kept[row][found] = (*table)[row][found];
    saveFactoryTable(std::move(kept));
}
