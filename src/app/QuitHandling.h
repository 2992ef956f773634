#pragma once

#include "platform/UnixSignalQuit.h"

class DefaultsStore;
class WillTerminate;

// How Beamwick quits, for main and for the process tests' probe alike: SIGTERM, SIGINT and
// SIGHUP become an ordinary QCoreApplication::quit(); once the application is about to quit,
// the will-terminate notice goes out (the controller hands the light back) and then the
// settings still waiting to be saved are saved. Construct it after the application object and
// keep it while the event loop runs; the notice and the settings must outlive it.
class QuitHandling {
public:
    QuitHandling(WillTerminate& willTerminate, DefaultsStore& settings);

    QuitHandling(const QuitHandling&) = delete;
    QuitHandling& operator=(const QuitHandling&) = delete;

    // The application's event loop, until a quit.
    int exec() { return m_signals.exec(); }

private:
    // Also the receiver of the application's aboutToQuit, so that goes with it.
    UnixSignalQuit m_signals;
};
