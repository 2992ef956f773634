#include "cli/StatusReport.h"

#include "cli/LogindSession.h"
#include "control/NumberSettings.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdlib>

namespace {

constexpr const char* kLedClassFolder = "/sys/class/leds";
// Short enough that --status answers at once on a machine where a service hangs.
constexpr std::chrono::milliseconds kLogindTimeout{500};
constexpr std::chrono::milliseconds kSoundServerTimeout{2000};

// The light chosen from the tray menu, as the settings file keeps it; "" for Automatic and for a
// file that cannot be read.
std::string savedLight(const QString& settingsPath)
{
    QFile file(settingsPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const auto light = QJsonDocument::fromJson(file.read(1024 * 1024)).object().value("light");
    return light.isString() ? light.toString().toStdString() : std::string();
}

// The light delay saved for an output, as the running Beamwick would read it: 0 where there is
// none, or none it could use.
double savedDelay(const QString& settingsPath, const QString& output)
{
    QFile file(settingsPath);
    if (!file.open(QIODevice::ReadOnly))
        return 0.0;
    const NumberSetting& setting = number_settings::lightDelay;
    const auto delays =
        QJsonDocument::fromJson(file.read(1024 * 1024)).object().value(setting.key).toObject();
    const QJsonValue delay = delays.value(output);
    return delay.isDouble() && number_settings::accepts(setting, delay.toDouble())
               ? delay.toDouble()
               : setting.fallback;
}

} // namespace

StatusReport::StatusReport(LedStatus led, SoundServerProbe::Result sound, QString settingsPath,
                           DesktopKeyboardProbe::Result keyboard, DarkConditionsProbe::Result dark)
    : m_led(std::move(led)), m_sound(std::move(sound)), m_settingsPath(std::move(settingsPath)),
      m_keyboard(keyboard), m_dark(dark)
{}

StatusReport StatusReport::ofThisSystem(QString settingsPath)
{
    // Read before the path is moved on: arguments are evaluated in no fixed order.
    const std::string saved = savedLight(settingsPath);
    return StatusReport(LedStatus(kLedClassFolder, std::getenv("BEAMWICK_LED"),
                                  LogindSession::activeId(kLogindTimeout), saved),
                        SoundServerProbe::ask(kSoundServerTimeout), std::move(settingsPath),
                        DesktopKeyboardProbe::ask(kLogindTimeout),
                        DarkConditionsProbe::ask(kLogindTimeout));
}

QStringList StatusReport::darkLines() const
{
    const auto told = [](const std::optional<bool>& value, const char* yes, const char* no,
                         const char* unknown) {
        return QString::fromLatin1(!value ? unknown : *value ? yes : no);
    };
    return {
        QStringLiteral("Lid (logind): ") +
            told(m_dark.lidClosed, "closed; the light is held dark until it opens",
                 "open; a closed lid holds the light dark",
                 "not told; the light stays as it is with the lid closed"),
        QStringLiteral("Session lock (logind): ") +
            told(m_dark.locked, "locked", "unlocked",
                 "not told; the light stays as it is while locked"),
        QStringLiteral("Power supply (UPower): ") +
            told(m_dark.onBattery, "on battery", "on mains",
                 "not told; the light stays as it is on battery"),
    };
}

QString StatusReport::keyboardLine() const
{
    const QString name = QString::fromStdString(m_led.ledName());
    QString line = QStringLiteral("Desktop keyboard control (UPower): ");
    if (!m_keyboard.answers)
        return line + QStringLiteral("not on the system bus; nothing to follow");
    if (m_keyboard.maxBrightness <= 0)
        return line + QStringLiteral("serves no keyboard light");
    // It serves keyboard lights alone, and tells of no name: one of the same range is the one.
    if (name.contains(QLatin1String("kbd_backlight")) &&
        unsigned(m_keyboard.maxBrightness) == m_led.ledMaxBrightness())
        return line + QStringLiteral("serves %1 (max %2); Beamwick watches it and takes a level "
                                     "the desktop sets as the user's")
                          .arg(name)
                          .arg(m_keyboard.maxBrightness);
    return line + QStringLiteral("serves a keyboard light of max %1, not the light Beamwick "
                                 "drives; not followed")
                      .arg(m_keyboard.maxBrightness);
}

QString StatusReport::text() const
{
    QStringList lines = m_led.lines();
    lines << keyboardLine();
    lines << darkLines();
    if (m_sound.answers) {
        const QString& output = m_sound.defaultOutput;
        QString line = QStringLiteral("Sound server: answers (%1), default output: %2")
                           .arg(m_sound.server, output.isEmpty() ? QStringLiteral("none") : output);
        if (!output.isEmpty())
            line += QStringLiteral(" (reports %1 ms; light delay %2 ms)")
                        .arg(QString::number(m_sound.outputLatency.count() / 1000.0, 'f', 1),
                             QString::number(savedDelay(m_settingsPath, output)));
        lines << line;
    } else {
        lines << QStringLiteral("Sound server: does not answer (%1); Music mode cannot listen")
                     .arg(m_sound.error);
    }
    lines << QStringLiteral("Settings file: %1").arg(m_settingsPath);
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
