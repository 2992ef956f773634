#pragma once

#include "platform/DefaultsStore.h"

#include <QJsonObject>

class MemoryDefaultsStore final : public DefaultsStore {
public:
    std::optional<QJsonValue> object(const QString& key) const override
    {
        const auto it = values.constFind(key);
        if (it == values.constEnd())
            return std::nullopt;
        return *it;
    }
    void setObject(const QString& key, const QJsonValue& value) override
    {
        values.insert(key, value);
        ++writes;
    }
    bool flush() override
    {
        ++flushes;
        return !failFlushes;
    }

    QJsonObject values;
    int writes = 0;
    int flushes = 0;
    // A disk that refuses: every flush fails.
    bool failFlushes = false;
};
