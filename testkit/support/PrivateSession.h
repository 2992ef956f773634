#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

// A runtime folder and a home of its own for the real executable, so that it meets neither an
// instance nor the settings of the user's, nor an LED the user's shell names; without a display.
struct PrivateSession {
    QTemporaryDir runtime;
    QTemporaryDir home;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QStringLiteral("BEAMWICK_LED"));
        return env;
    }
};
