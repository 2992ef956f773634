#pragma once

#include "testkit/support/PrivateSession.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

// A private install of the real executable: bin/beamwick loads
// bin/../lib/beamwick/beamwick-leds.so, here the module given, and runs in a private session
// (settings, runtime folder and home of its own).
class PrivateInstall {
public:
    explicit PrivateInstall(const QString& module)
    {
        const QDir root(m_prefix.path());
        m_ready = m_prefix.isValid() && m_session.runtime.isValid() && m_session.home.isValid() &&
                  root.mkpath("bin") && root.mkpath("lib/beamwick") &&
                  QDir(m_session.home.path()).mkpath("config/beamwick") &&
                  QFile::copy(BEAMWICK_EXECUTABLE, executable()) &&
                  QFile::copy(module, m_prefix.filePath("lib/beamwick/beamwick-leds.so"));
    }

    bool ready() const { return m_ready; }
    QString executable() const { return m_prefix.filePath("bin/beamwick"); }
    QString settings() const { return m_session.home.filePath("config/beamwick/settings.json"); }
    // A file of the test's own beside the install.
    QString filePath(const QString& name) const { return m_prefix.filePath(name); }

    // Sets these settings in the settings file, keeping the others (the saved factory table).
    bool setSettings(const QJsonObject& changes) const
    {
        QFile file(settings());
        QJsonObject values;
        if (file.open(QIODevice::ReadOnly))
            values = QJsonDocument::fromJson(file.readAll()).object();
        file.close();
        for (auto it = changes.begin(); it != changes.end(); ++it)
            values.insert(it.key(), it.value());
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(QJsonDocument(values).toJson()) > 0;
    }

    QProcessEnvironment environment() const { return m_session.environment(); }

private:
    QTemporaryDir m_prefix;
    PrivateSession m_session;
    bool m_ready = false;
};
