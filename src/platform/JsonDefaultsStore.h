#pragma once

#include "platform/DefaultsStore.h"

#include <QJsonObject>
#include <QObject>
#include <QTimer>

// The defaults as one JSON object in a file, saved atomically. Changes are coalesced: a burst of
// writes (a slider drag) costs one save after a short quiet period, and flush() saves at once.
// A file that cannot be parsed is never overwritten silently: it is moved aside (to
// "<file>.damaged-<time>") right before the first save replaces it.
class JsonDefaultsStore final : public QObject, public DefaultsStore {
    Q_OBJECT
public:
    explicit JsonDefaultsStore(QString filePath, int coalesceMs = 500);
    ~JsonDefaultsStore() override;

    // $XDG_CONFIG_HOME/beamwick/settings.json
    static QString standardPath();

    std::optional<QJsonValue> object(const QString& key) const override;
    void setObject(const QString& key, const QJsonValue& value) override;
    bool flush() override;

    const QString& filePath() const { return m_path; }
    // Why the last save failed, naming the file; empty once one has worked.
    const QString& saveError() const { return m_saveError; }

private:
    void load();
    // False when the file could not be written; the values stay dirty, so the next flush tries
    // again.
    bool save();

    QString m_path;
    QJsonObject m_values;
    QTimer m_saveTimer;
    bool m_dirty = false;
    bool m_damaged = false;
    QString m_damagedCopy;
    QString m_saveError;
};
