#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <map>
#include <optional>
#include <vector>

class DefaultsStore;

// How the controller reads its settings back from the defaults store, forgiving the kinds of
// damage a hand-edited file can carry.
namespace StoredSettings {

using Table = std::vector<std::vector<double>>;

// The string under key; "" when absent or not a string.
QString string(const DefaultsStore& store, const char* key);

// Nothing when the key is absent. A present value that is not a number reads as a number where
// it plainly is one (a numeric string, a Boolean) and as 0 otherwise.
std::optional<double> number(const DefaultsStore& store, const char* key);

// A choice saved as true or false; a number reads as true unless 0, anything else as none.
std::optional<bool> flag(const DefaultsStore& store, const char* key);

// The saved factory table when it is an array of at least one row, every row an array of
// numbers, and usable for dimming (isUsableFactoryTable); otherwise nothing.
std::optional<Table> factoryTable(const DefaultsStore& store, const char* key);

// Dimming scales the second number of every row, so a row needs two, and every number must be
// finite for a scaled copy to be a valid table.
bool isUsableFactoryTable(const Table& table);

QJsonArray tableToJson(const Table& table);

// Saved factory tables by key, each usable as factoryTable() requires; an entry that is not is
// left out, and anything but an object reads as none.
std::map<QString, Table> factoryTables(const DefaultsStore& store, const char* key);
QJsonObject tablesToJson(const std::map<QString, Table>& tables);

} // namespace StoredSettings
