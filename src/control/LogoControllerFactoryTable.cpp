// The factory tables: each light's own, kept by FactoryTables, so that each light's brightness
// and trigger outlive any order of runs, kills and changes of light.
#include "control/LogoController.h"
#include "control/StoredSettings.h"
#include "serviceabi/ServiceContract.h"

namespace {

const QString kNoTable = QStringLiteral("Brightness table not found — dimming unavailable.");

} // namespace

void LogoController::loadFactoryTable()
{
    m_baseMap.clear();
    m_lightInUse.reset();
    auto current = serviceTable();
    // A light that gives no table now takes none saved for another.
    if (!current && !light().isEmpty()) {
        publish(m_lastError, std::optional<QString>(kNoTable));
        return;
    }
    const auto inUse = current ? FactoryTables::lightOf(*current) : std::nullopt;
    m_lightInUse = inUse;
    // A light met before takes its own table; only one met for the first time is captured as
    // found, so a light never takes the state another run left it in as the factory's.
    auto saved = m_tables.of(inUse);
    if (!saved && !current) {
        publish(m_lastError, std::optional<QString>(kNoTable));
        return;
    }
    saveFactoryTable(inUse, saved ? std::move(*saved) : std::move(*current));
}

std::optional<LogoController::Table> LogoController::serviceTable() const
{
    const auto captured = m_bs->get(mapKey);
    auto table = captured ? captured->asTable() : std::nullopt;
    if (!table || !StoredSettings::isUsableFactoryTable(*table))
        return std::nullopt;
    return table;
}

void LogoController::saveFactoryTable(const std::optional<QString>& light, Table table)
{
    m_baseMap = std::move(table);
    m_tables.saveInUse(light, m_baseMap);
}

void LogoController::recaptureFactoryBrightness()
{
    // A brightness key that set a brightness says how bright the user wants the light: the
    // service's table now carries it. One that switched the light off says nothing of that, and
    // the service's brightness may then be the one it found the light at, off. The rest of the
    // saved rows stays: the trigger the service sees now may be Beamwick's own detaching, never
    // the user's.
    const auto keyed = m_bs->get(ServiceContract::hardwareBrightnessChangedKey);
    if (!keyed || !keyed->isNumber() || keyed->integerValue() != 1)
        return;
    const auto table = serviceTable();
    if (m_baseMap.empty() || !table || table->empty())
        return;
    constexpr std::size_t found = ServiceContract::tableFoundIndex;
    Table kept = m_baseMap;
    if (kept.size() != table->size())
        kept = *table;
    for (std::size_t row = 0; row < kept.size(); ++row)
        kept[row][found] = (*table)[row][found];
    saveFactoryTable(FactoryTables::lightOf(*table), std::move(kept));
}

bool LogoController::handBackLight()
{
    if (m_baseMap.empty())
        return true;
    // The whole factory rows, not just the two numbers dimming writes: this is the table the
    // service had before Beamwick ran.
    const bool back = m_bs->set(PropertyValue::table(m_baseMap), mapKey);
    m_tables.noteHandBack(light(), m_lightInUse.value_or(QString()), back);
    return back;
}

void LogoController::retryHandBacks(const QString& leaving)
{
    for (const auto& [name, code] : std::map(m_tables.awaitingHandBack())) {
        const auto table = m_tables.of(code);
        if (name == leaving)
            continue;
        const bool back =
            !table || m_bs->set(PropertyValue::array({PropertyValue::string(name.toStdString()),
                                                      PropertyValue::table(*table)}),
                                ServiceContract::handBackKey);
        m_tables.noteHandBack(name, code, back);
    }
}
