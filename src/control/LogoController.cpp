#include "control/LogoController.h"

#include "control/StoredSettings.h"
#include "platform/DefaultsStore.h"
#include "platform/PrivilegedRunner.h"
#include "platform/Ticker.h"
#include "platform/WillTerminate.h"

#include <QPointer>
#include <stdexcept>

namespace {

const QString& kUnreachable = LogoController::kUnreachableText;
const QString kRefused = QStringLiteral("The system refused to switch the logo.");

// Refuses an environment that lacks a required part before anything is built from it.
LogoController::Environment& checked(LogoController::Environment& environment)
{
    if (!environment.brightness || !environment.meter || !environment.ticker ||
        !environment.fileExists)
        throw std::invalid_argument(
            "LogoController: its environment lacks a required collaborator");
    return environment;
}

} // namespace

const QString LogoController::kUnreachableText =
    QStringLiteral("Couldn't reach the system's brightness service.");

LogoController::LogoController(Environment environment, QObject* parent)
    : QObject(parent), m_light(std::move(checked(environment).brightness), environment.defaults,
                               std::move(environment.watchFile)),
      m_timer(std::move(environment.ticker)),
      m_capture(std::move(environment.meter), [this] { emit objectWillChange(); }),
      m_defaults(environment.defaults), m_clock(environment.clock),
      m_privilegedRunner(environment.privilegedRunner),
      m_fileExists(std::move(environment.fileExists))
{
    connect(&m_timer.ticker(), &Ticker::ticked, this, &LogoController::tick);
    loadSettings();
    publish(m_hasOldSudoRule, m_fileExists(sudoRulePath));

    if (!m_light.available()) {
        publish(m_lastError, std::optional<QString>(kUnreachable));
        return;
    }
    // A service that names its lights but has none to drive is as good as none, until a light
    // is chosen from the menu; quitting still hands back what earlier runs held.
    const bool hasLight = m_light.takeOver();
    if (hasLight)
        startLight();
    else
        publish(m_lastError, std::optional<QString>(kUnreachable));

    installLevelCallback();
    registerForTermination(environment.willTerminate);
    watchPlatformChanges(environment.sleepNotice);
    if (hasLight)
        apply();
}

LogoController::~LogoController() = default;

void LogoController::loadSettings()
{
    const auto mode = lightModeFromRawValue(StoredSettings::string(m_defaults, "mode"));
    publish(m_mode, mode.value_or(LightMode::steady));

    if (const auto value = StoredSettings::number(m_defaults, "brightness"))
        publish(m_brightness, *value);
    if (const auto value = StoredSettings::number(m_defaults, "breatheSeconds"))
        publish(m_breatheSeconds, *value);
    if (const auto value = StoredSettings::number(m_defaults, "sensitivity"))
        publish(m_sensitivity, *value);
}

void LogoController::installLevelCallback()
{
    QPointer<LogoController> self(this);
    m_capture.meter().setOnLevel([self](double bass, double average) {
        if (self)
            self->handleAudio(bass, average);
    });
    m_capture.meter().setOnInterruption([self](const std::optional<MeterError>& lost) {
        if (self)
            self->handleCaptureInterruption(lost);
    });
    m_capture.meter().setOnActivity([self](bool flowing) {
        if (self)
            self->handleCaptureActivity(flowing);
    });
}

void LogoController::setOn(bool on)
{
    if (m_light.switchOn(on)) {
        publish(m_isOn, on);
        publish(m_lastError, std::optional<QString>());
        apply();
    } else {
        publish(m_lastError, std::optional<QString>(kRefused));
    }
}

void LogoController::setMode(LightMode mode)
{
    publish(m_mode, mode);
    m_defaults.setObject(QStringLiteral("mode"), rawValue(mode));
    apply();
}

void LogoController::setBrightness(double brightness)
{
    publish(m_brightness, brightness);
    persist("brightness", brightness);
    if (m_mode == LightMode::steady)
        m_light.setLevel(brightness);
}

void LogoController::setBreatheSeconds(double seconds)
{
    publish(m_breatheSeconds, seconds);
    persist("breatheSeconds", seconds);
}

void LogoController::setSensitivity(double sensitivity)
{
    publish(m_sensitivity, sensitivity);
    persist("sensitivity", sensitivity);
}

void LogoController::persist(const char* key, double value)
{
    // JSON has no NaN or infinity; such a value would be saved as null and read back as 0.
    m_defaults.setObject(QString::fromLatin1(key), QJsonValue(value));
}
