#include "cli/CommandLine.h"

#include "control/NumberSettings.h"
#include "remote/RemoteNames.h"

#include <QCoreApplication>
#include <vector>

namespace {

// The options QGuiApplication and QApplication take for themselves, so `beamwick -platform
// wayland` keeps working. Hidden from --help: they are Qt's, not Beamwick's.
const char* const kQtValueOptions[] = {
    "platform", "platformpluginpath", "platformtheme",   "plugin",   "display",
    "style",    "stylesheet",         "qwindowgeometry", "geometry", "qwindowtitle",
    "title",    "qwindowicon",        "session",         "name",     "visual",
};
const char* const kQtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

// An option that sets a bus property to its value.
struct ValueOption {
    QString option;
    QString property;
    QString valueName;
    QString description;
};

// In the order they apply, whatever the order given (see RemoteCommand): the light, the mode,
// the dark choices, then the number settings.
std::vector<ValueOption> valueOptions()
{
    std::vector<ValueOption> options{
        {QStringLiteral("light"), QString::fromLatin1(RemoteNames::light),
         QStringLiteral("name|automatic"),
         QStringLiteral("Drive this light (a name as the tray menu lists it), or leave the "
                        "choice to Beamwick.")},
        {QStringLiteral("mode"), QString::fromLatin1(RemoteNames::mode),
         QStringLiteral("steady|breathe|music"),
         QStringLiteral("Set the mode (in any letter case).")},
        {QStringLiteral("dark-when-locked"), QString::fromLatin1(RemoteNames::darkWhenLocked),
         QStringLiteral("on|off"),
         QStringLiteral("Hold the light dark while the session is locked (it always is while "
                        "the lid is closed).")},
        {QStringLiteral("dark-on-battery"), QString::fromLatin1(RemoteNames::darkOnBattery),
         QStringLiteral("on|off"),
         QStringLiteral("Hold the light dark while the computer runs on battery.")},
    };
    for (const NumberSetting& setting : number_settings::all) {
        const QString range = number_settings::rangeText(setting);
        const QString unit = QString::fromLatin1(setting.unit);
        // A value with a unit is named by it, and its range given in the text.
        options.push_back({QString::fromLatin1(setting.option),
                           QString::fromLatin1(setting.property), unit.isEmpty() ? range : unit,
                           unit.isEmpty() ? QString::fromLatin1(setting.help)
                                          : QStringLiteral("%1, from %2 to %3 %4.")
                                                .arg(QString::fromLatin1(setting.help),
                                                     QString::number(setting.range.low),
                                                     QString::number(setting.range.high), unit)});
    }
    return options;
}

const char* const kSwitchOptions[][2] = {
    {"on", "Switch the light on."},
    {"off", "Switch the light off."},
    {"toggle", "Switch the light on or off."},
};

QString name(const char* text)
{
    return QString::fromLatin1(text);
}

} // namespace

void CommandLine::addRemoteOptions()
{
    for (const auto& option : valueOptions())
        m_parser.addOption(QCommandLineOption(option.option, option.description, option.valueName));
    for (const auto& option : kSwitchOptions)
        m_parser.addOption(QCommandLineOption(name(option[0]), name(option[1])));
    m_parser.addOption(QCommandLineOption(
        QStringLiteral("get"),
        QStringLiteral("Print the running Beamwick's state as one JSON object and exit.")));
    m_parser.addOption(QCommandLineOption(
        QStringLiteral("follow"),
        QStringLiteral("Print the state as a JSON object, then one line per change, until "
                       "interrupted or until Beamwick quits.")));
}

bool CommandLine::readRemoteOptions()
{
    for (const auto& option : valueOptions()) {
        const QStringList values = m_parser.values(option.option);
        if (values.size() > 1) {
            m_error = QStringLiteral("--%1 given more than once.").arg(option.option);
            return false;
        }
        if (!values.isEmpty())
            m_remote.add({option.property, values.constFirst()});
    }
    const RemoteCommand::Switch switches[] = {RemoteCommand::Switch::on, RemoteCommand::Switch::off,
                                              RemoteCommand::Switch::toggle};
    int given = 0;
    for (std::size_t i = 0; i < std::size(switches); ++i) {
        if (m_parser.isSet(name(kSwitchOptions[i][0]))) {
            m_remote.setSwitch(switches[i]);
            ++given;
        }
    }
    if (given > 1) {
        m_error = QStringLiteral("Give one of --on, --off and --toggle.");
        return false;
    }
    const bool get = m_parser.isSet(QStringLiteral("get"));
    const bool follow = m_parser.isSet(QStringLiteral("follow"));
    if (int(get) + int(follow) + int(!m_remote.empty()) > 1) {
        m_error = QStringLiteral("--get and --follow go alone, without control options.");
        return false;
    }
    if (get)
        m_action = Action::get;
    else if (follow)
        m_action = Action::follow;
    else if (!m_remote.empty())
        m_action = Action::control;
    return true;
}

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
    addRemoteOptions();
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
    } else if (!readRemoteOptions()) {
        m_action = Action::error;
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
    case Action::control:
    case Action::get:
    case Action::follow:
        break;
    }
    return {};
}
