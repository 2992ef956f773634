#pragma once

#include "shell/LocalLineSocket.h"

#include <QLockFile>
#include <QObject>
#include <QString>

// Keeps Beamwick to one process per user, so two controllers never fight over the same light.
// The first process holds a lock file and listens on a local socket in the user's runtime
// directory; a later one finds the lock taken, asks the first to show its panel, and goes.
class InstanceGuard : public QObject {
    Q_OBJECT
public:
    // directory: where the lock and the socket live; empty means the user's runtime directory.
    explicit InstanceGuard(const QString& directory = {}, QObject* parent = nullptr);
    ~InstanceGuard() override;

    enum class Outcome { primary, askedPrimary, unreachable };
    // Becomes the primary instance, or asks the running one to show its panel.
    Outcome claim();

    QString socketPath() const;

    static constexpr const char* showRequest = "show";

signals:
    // Another launch asked this instance to show its panel.
    void showRequested();

private:
    bool askPrimary();
    void serve();

    QString m_directory;
    QLockFile m_lock;
    LocalLineSocket m_socket;
};
