#pragma once

#include <QJsonValue>
#include <QString>
#include <optional>

// The user defaults store: named values that outlive the process.
class DefaultsStore {
public:
    virtual ~DefaultsStore() = default;
    // The stored object under key, or nothing when the key is absent.
    virtual std::optional<QJsonValue> object(const QString& key) const = 0;
    virtual void setObject(const QString& key, const QJsonValue& value) = 0;
    // Writes pending changes to durable storage now; whether everything is saved.
    virtual bool flush() = 0;
};
