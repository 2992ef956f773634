#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM (a desktop logout, `systemctl --user stop`), SIGINT (Ctrl-C) and SIGHUP into an
// ordinary QCoreApplication::quit() on the main thread, so that the same will-terminate
// handling restores the light. The signal handler only writes a byte to a socket; everything
// else happens in the event loop, where it is safe.
class UnixSignalQuit : public QObject {
    Q_OBJECT
public:
    explicit UnixSignalQuit(QObject* parent = nullptr);
    ~UnixSignalQuit() override;

    bool installed() const { return m_installed; }
    // Runs the application's event loop until a quit; a signal taken in before the loop ran
    // ends it at once.
    int exec();

private:
    void handleWake();

    QSocketNotifier* m_notifier = nullptr;
    bool m_installed = false;
    bool m_requested = false;
};
