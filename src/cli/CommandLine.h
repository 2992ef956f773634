#pragma once

#include "cli/RemoteCommand.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

// Beamwick's command line. Only a plain start runs the application: --help, --version, --status
// and a mistake are answered before anything loads the service module, touches the light or
// contacts a running instance. The control options (--on, --mode, ...) and --get and --follow
// are for the running Beamwick, which RemoteClient reaches on the session bus.
class CommandLine {
public:
    enum class Action { run, help, version, status, control, get, follow, error };

    // arguments: the whole argv, program name first. Qt's own display options (-platform,
    // -display, ...) are accepted for a plain start.
    explicit CommandLine(const QStringList& arguments);

    Action action() const { return m_action; }
    // What to print for the action; for an error, a short message for stderr.
    QString output() const;
    // The control options, for Action::control.
    const RemoteCommand& remote() const { return m_remote; }

    // The exit status for the action: 2 for a mistake on the command line.
    int exitCode() const { return m_action == Action::error ? 2 : 0; }

private:
    void addRemoteOptions();
    // Collects the control options in the order they apply; false for a mistake.
    bool readRemoteOptions();

    QCommandLineParser m_parser;
    RemoteCommand m_remote;
    Action m_action = Action::run;
    QString m_error;
};
