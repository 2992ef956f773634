#include "control/LogoController.h"

#include "control/StoredSettings.h"
#include "platform/DefaultsStore.h"
#include "platform/DesktopLightNotice.h"
#include "platform/SleepNotice.h"
#include "platform/Ticker.h"
#include "platform/WillTerminate.h"

#include <QPointer>

namespace {

const QString& kUnreachable = LogoController::kUnreachableText;
const QString kRefused = QStringLiteral("The system refused to switch the logo.");

} // namespace

const QString LogoController::kUnreachableText =
    QStringLiteral("Couldn't reach the system's brightness service.");

LogoController::LogoController(Environment environment, QObject* parent)
    : QObject(parent), m_light(std::move(environment.brightness), environment.defaults,
                               std::move(environment.watchFile)),
      m_timer(std::move(environment.ticker)),
      m_capture(std::move(environment.meter), [this] { emit objectWillChange(); }),
      m_defaults(environment.defaults), m_clock(environment.clock),
      m_oldRule(environment.privilegedRunner, std::move(environment.fileExists))
{
    connect(&m_timer.ticker(), &Ticker::ticked, this, &LogoController::tick);
    loadSettings();
    publish(m_hasOldSudoRule, m_oldRule.exists());

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
    // The controller is the receiver of each notice, so the connection dies with it: a notice
    // after the controller is gone does nothing.
    connect(&environment.willTerminate, &WillTerminate::willTerminate, this,
            &LogoController::handleWillTerminate);
    if (environment.sleepNotice)
        connect(environment.sleepNotice, &SleepNotice::resumed, this,
                &LogoController::handleResume);
    connect(&m_light, &DrivenLight::keyChanged, this, &LogoController::handleHardwareChange);
    if (auto* desktop = environment.desktopLight)
        connect(desktop, &DesktopLightNotice::levelSet, this, [this, desktop](int brightness) {
            handleDesktopLevel(brightness, desktop->maxBrightness());
        });
    m_light.watchKeys();
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
    // Each holds the controller weakly. Only a running Music mode hears what the capture says of
    // itself: anything else has cleared the status and has no use for ticks.
    QPointer<LogoController> self(this);
    AudioMeter& meter = m_capture.meter();
    meter.setOnLevel([self](double bass, double average) {
        if (self)
            self->handleAudio(bass, average);
    });
    meter.setOnInterruption([self](const std::optional<MeterError>& lost) {
        if (self && self->musicRunning())
            self->m_capture.noteLost(lost);
    });
    meter.setOnActivity([self](bool flowing) {
        if (!self || !self->musicRunning())
            return;
        self->m_capture.notePaused(!flowing);
        // Ticks resume with the audio, so the first flash after a pause ends on time.
        if (flowing)
            self->m_timer.wake();
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

void LogoController::removeOldSudoRule()
{
    m_oldRule.remove();
    publish(m_hasOldSudoRule, m_oldRule.exists());
}

void LogoController::handleWillTerminate()
{
    m_capture.meter().stop();
    m_light.handBack();
}
