#pragma once

#include "control/StoredSettings.h"

#include <QString>
#include <functional>
#include <map>
#include <optional>

class DefaultsStore;

// The factory table of every light Beamwick has driven, as the settings keep it: the one owner
// of what each light is given back. A table belongs to the light whose number its service's
// table carries in every row; "baseMaps" holds them all by that number and "baseMap" the one of
// the light in use, each written from here alone. Also the lights Beamwick holds ("handBack"),
// by name, until they are back.
class FactoryTables {
public:
    using Table = StoredSettings::Table;

    explicit FactoryTables(DefaultsStore& defaults);

    // The number naming the light a service's table came from; nothing when it names none.
    static std::optional<QString> lightOf(const Table& table);

    // A table saved by a version that named no light (a bare "baseMap") belongs to the light
    // that version drove, the one the service picks at this first start: `light`. Once any
    // light has its table it is never given to another.
    void adoptEarlierTable(const std::optional<QString>& light);

    // The light's saved table. For a service that names no light, the one in use as saved.
    std::optional<Table> of(const std::optional<QString>& light) const;
    // The table in use, as saved.
    const std::optional<Table>& inUse() const { return m_inUse; }
    // Saves the table as the light's and as the one in use, at once (lost, a later start would
    // take a dimmed table for the factory's); nothing is written where nothing changes.
    void saveInUse(const std::optional<QString>& light, const Table& table);

    // Notes whether the named light, `light` among the tables, has its factory state back.
    void noteHandBack(const QString& name, const QString& light, bool handedBack);
    // Offers giveBack each light driven and not yet handed back but `leaving` (any whose
    // hand-back failed or whose run was killed), with its saved table where there is one, and
    // notes each one it gave back at once.
    using GiveBack = std::function<bool(const QString& name, const std::optional<Table>& table)>;
    void retryHandBacks(const QString& leaving, const GiveBack& giveBack);

private:
    void saveTables();
    void saveHandBacks();

    DefaultsStore& m_defaults;
    std::map<QString, Table> m_tables;
    // As saved under "baseMap", and there without a light's number.
    std::optional<Table> m_inUse;
    std::optional<Table> m_unnamed;
    // "baseMap" named a light with a table newer than its entry in "baseMaps".
    bool m_tablesChanged = false;
    // By name, the number naming each light among the tables.
    std::map<QString, QString> m_awaitingHandBack;
};
