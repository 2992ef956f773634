#include "cli/CommandLine.h"

#include <QCoreApplication>

namespace {

// The options QGuiApplication and QApplication take for themselves, so `beamwick -platform
// wayland` keeps working. Hidden from --help: they are Qt's, not Beamwick's.
const char* const kQtValueOptions[] = {
    "platform", "platformpluginpath", "platformtheme",   "plugin",   "display",
    "style",    "stylesheet",         "qwindowgeometry", "geometry", "qwindowtitle",
    "title",    "qwindowicon",        "session",         "name",     "visual",
};
const char* const kQtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

} // namespace

CommandLine::CommandLine(const QStringList& arguments)
{
    m_parser.setApplicationDescription(QStringLiteral(
        "Drives one light of the computer (a lid-logo LED, or else a keyboard backlight) from "
        "the tray: steady, breathing, or flashing to the bass of the music that plays. Quitting "
        "restores the light as the factory left it."));
    // Qt's options are single-dash words: "-platform" must not read as "-p -l -a ...".
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Print this help and exit."));
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Print the version and exit."));
    const QCommandLineOption status(
        QStringLiteral("status"),
        QStringLiteral("Print which light Beamwick would drive, why and how (or why none), the "
                       "other lights it passed over, whether the sound server answers, and the "
                       "settings file's path; then exit. Exits 1 when there is no light Beamwick "
                       "can write."));
    m_parser.addOption(help);
    m_parser.addOption(version);
    m_parser.addOption(status);
    for (const char* name : kQtValueOptions) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        m_parser.addOption(option);
    }
    for (const char* name : kQtFlagOptions) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        m_parser.addOption(option);
    }

    if (!m_parser.parse(arguments)) {
        m_action = Action::error;
        m_error = m_parser.errorText();
    } else if (!m_parser.positionalArguments().isEmpty()) {
        m_action = Action::error;
        m_error = QStringLiteral("Unexpected argument '%1'.")
                      .arg(m_parser.positionalArguments().constFirst());
    } else if (m_parser.isSet(help)) {
        m_action = Action::help;
    } else if (m_parser.isSet(version)) {
        m_action = Action::version;
    } else if (m_parser.isSet(status)) {
        m_action = Action::status;
    }
}

QString CommandLine::output() const
{
    switch (m_action) {
    case Action::help:
        return m_parser.helpText();
    case Action::version:
        return QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                             QCoreApplication::applicationVersion());
    case Action::error:
        return QStringLiteral("%1: %2\nTry '%1 --help' for more information.\n")
            .arg(QCoreApplication::applicationName(), m_error);
    case Action::run:
    case Action::status:
        break;
    }
    return {};
}
