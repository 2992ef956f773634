#pragma once

#include "cli/RemoteCommand.h"

#include <QDBusConnection>
#include <QString>
#include <QVariantMap>
#include <chrono>
#include <optional>

// The command line's side of the session bus: it applies control options to the running
// Beamwick (starting one in the background when none runs), and reads its state for --get and
// --follow. Each call returns the exit status: 0 done, 1 refused or nothing running.
class RemoteClient {
public:
    explicit RemoteClient(QDBusConnection bus = QDBusConnection::sessionBus());

    int control(const RemoteCommand& command);
    int get();
    int follow();

    // How long a start in the background may take to appear on the bus.
    static constexpr std::chrono::seconds startLimit{5};

private:
    bool running() const;
    // Starts Beamwick as a plain launch would and waits for its bus name.
    bool start();
    std::optional<QVariantMap> readAll() const;
    // Empty when done, else the error's message.
    QString set(const QString& property, const QVariant& value) const;
    QString call(const QString& method) const;
    int notRunning() const;

    QDBusConnection m_bus;
};
