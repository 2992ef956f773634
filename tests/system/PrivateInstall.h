#pragma once

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

// A private install of the real executable: bin/beamwick loads
// bin/../lib/beamwick/beamwick-leds.so, here the module given, and runs with a settings folder,
// runtime folder and home of its own.
class PrivateInstall {
public:
    explicit PrivateInstall(const QString& module)
    {
        const QDir root(m_dir.path());
        m_ready = m_dir.isValid() && root.mkpath("bin") && root.mkpath("lib/beamwick") &&
                  root.mkpath("config/beamwick") && root.mkpath("run") &&
                  QFile::setPermissions(m_dir.filePath("run"), QFileDevice::ReadOwner |
                                                                   QFileDevice::WriteOwner |
                                                                   QFileDevice::ExeOwner) &&
                  QFile::copy(BEAMWICK_EXECUTABLE, executable()) &&
                  QFile::copy(module, m_dir.filePath("lib/beamwick/beamwick-leds.so"));
    }

    bool ready() const { return m_ready; }
    QString executable() const { return m_dir.filePath("bin/beamwick"); }
    QString settings() const { return m_dir.filePath("config/beamwick/settings.json"); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

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

    QProcessEnvironment environment() const
    {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", m_dir.filePath("config"));
        env.insert("XDG_RUNTIME_DIR", m_dir.filePath("run"));
        env.insert("HOME", m_dir.path());
        return env;
    }

private:
    QTemporaryDir m_dir;
    bool m_ready = false;
};
