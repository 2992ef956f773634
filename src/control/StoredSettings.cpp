#include "control/StoredSettings.h"

#include "platform/DefaultsStore.h"

#include <cmath>

namespace StoredSettings {

QString string(const DefaultsStore& store, const char* key)
{
    const auto value = store.object(QString::fromLatin1(key));
    return value && value->isString() ? value->toString() : QString();
}

std::optional<double> number(const DefaultsStore& store, const char* key)
{
    const auto value = store.object(QString::fromLatin1(key));
    if (!value)
        return std::nullopt;
    if (value->isDouble())
        return value->toDouble();
    if (value->isBool())
        return value->toBool() ? 1.0 : 0.0;
    if (value->isString()) {
        bool ok = false;
        const double parsed = value->toString().trimmed().toDouble(&ok);
        return ok ? parsed : 0.0;
    }
    return 0.0;
}

std::optional<bool> flag(const DefaultsStore& store, const char* key)
{
    const auto value = store.object(QString::fromLatin1(key));
    if (value && value->isBool())
        return value->toBool();
    if (value && value->isDouble())
        return value->toDouble() != 0.0;
    return std::nullopt;
}

namespace {

std::optional<Table> tableOf(const QJsonValue& value)
{
    if (!value.isArray())
        return std::nullopt;
    Table table;
    for (const auto& row : value.toArray()) {
        if (!row.isArray())
            return std::nullopt;
        std::vector<double> numbers;
        for (const auto& n : row.toArray()) {
            if (!n.isDouble())
                return std::nullopt;
            numbers.push_back(n.toDouble());
        }
        table.push_back(std::move(numbers));
    }
    if (table.empty() || !isUsableFactoryTable(table))
        return std::nullopt;
    return table;
}

} // namespace

std::optional<Table> factoryTable(const DefaultsStore& store, const char* key)
{
    const auto value = store.object(QString::fromLatin1(key));
    if (!value)
        return std::nullopt;
    return tableOf(*value);
}

std::map<QString, Table> factoryTables(const DefaultsStore& store, const char* key)
{
    std::map<QString, Table> tables;
    const auto value = store.object(QString::fromLatin1(key));
    if (!value || !value->isObject())
        return tables;
    const QJsonObject saved = value->toObject();
    for (auto it = saved.begin(); it != saved.end(); ++it) {
        if (auto table = tableOf(it.value()))
            tables.emplace(it.key(), std::move(*table));
    }
    return tables;
}

QJsonObject tablesToJson(const std::map<QString, Table>& tables)
{
    QJsonObject out;
    for (const auto& [key, table] : tables)
        out.insert(key, tableToJson(table));
    return out;
}

bool isUsableFactoryTable(const Table& table)
{
    for (const auto& row : table) {
        if (row.size() < 2)
            return false;
        for (double n : row) {
            if (!std::isfinite(n))
                return false;
        }
    }
    return true;
}

QJsonArray tableToJson(const Table& table)
{
    QJsonArray rows;
    for (const auto& row : table) {
        QJsonArray numbers;
        for (double n : row)
            numbers.append(n);
        rows.append(numbers);
    }
    return rows;
}

} // namespace StoredSettings
