#include "MicroBenchmarks.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <set>

namespace {

double toNanoseconds(double value, const QString& unit)
{
    if (unit == QLatin1String("us"))
        return value * 1e3;
    if (unit == QLatin1String("ms"))
        return value * 1e6;
    if (unit == QLatin1String("s"))
        return value * 1e9;
    return value;
}

// Fields every entry carries; whatever else is numeric is a user counter.
const std::set<QString>& standardFields()
{
    static const std::set<QString> fields{"family_index", "per_family_instance_index",
                                          "repetitions",  "repetition_index",
                                          "threads",      "iterations",
                                          "real_time",    "cpu_time"};
    return fields;
}

} // namespace

std::optional<std::vector<MicroBenchmarks::Entry>> MicroBenchmarks::parse(const std::string& json)
{
    QJsonParseError error{};
    const auto document = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const auto benchmarks = document.object().value("benchmarks");
    if (!benchmarks.isArray())
        return std::nullopt;

    std::vector<Entry> out;
    for (const auto& item : benchmarks.toArray()) {
        const auto object = item.toObject();
        // Aggregates (mean, median) repeat the name; the plain iteration runs are what we show.
        if (object.value("run_type").toString("iteration") != QLatin1String("iteration"))
            continue;
        if (!object.value("name").isString() || !object.value("real_time").isDouble())
            continue;
        Entry entry;
        entry.name = object.value("name").toString().toStdString();
        entry.nanoseconds = toNanoseconds(object.value("real_time").toDouble(),
                                          object.value("time_unit").toString("ns"));
        for (auto it = object.begin(); it != object.end(); ++it)
            if (it.value().isDouble() && !standardFields().count(it.key()))
                entry.counters[it.key().toStdString()] = it.value().toDouble();
        out.push_back(std::move(entry));
    }
    return out;
}

const MicroBenchmarks::Entry* MicroBenchmarks::find(const std::vector<Entry>& entries,
                                                    const std::string& name)
{
    for (const auto& entry : entries)
        if (entry.name == name)
            return &entry;
    return nullptr;
}
