#include "control/LogoController.h"

#include "control/StoredSettings.h"
#include "platform/DarkConditions.h"
#include "platform/DefaultsStore.h"
#include "platform/DesktopLightNotice.h"
#include "platform/SleepNotice.h"
#include "platform/Ticker.h"
#include "platform/WillTerminate.h"

#include <QPointer>

namespace {

const QString kRefused = QStringLiteral("The system refused to switch the logo.");

} // namespace

LogoController::LogoController(Environment environment, QObject* parent)
    : QObject(parent), m_light(std::move(environment.brightness), environment.defaults,
                               std::move(environment.watchFile)),
      m_timer(std::move(environment.ticker)), m_flashes(std::move(environment.flashTicker)),
      m_capture(std::move(environment.meter), [this] { emit objectWillChange(); }),
      m_defaults(environment.defaults), m_clock(environment.clock),
      m_oldRule(environment.privilegedRunner, std::move(environment.fileExists))
{
    connect(&m_timer.ticker(), &Ticker::ticked, this, &LogoController::tick);
    connect(&m_flashes.ticker(), &Ticker::ticked, this, &LogoController::showDueFlash);
    loadSettings();
    loadDarkChoices();
    publish(m_hasOldSudoRule, m_oldRule.exists());

    startLight();
    if (std::holds_alternative<DrivenLight::Unreachable>(m_light.state()))
        return;

    installLevelCallback();
    // The controller is the receiver of each notice, so the connection dies with it: a notice
    // after the controller is gone does nothing.
    connect(&environment.willTerminate, &WillTerminate::willTerminate, this,
            &LogoController::handleWillTerminate);
    if (environment.sleepNotice)
        connect(environment.sleepNotice, &SleepNotice::resumed, this,
                &LogoController::handleResume);
    connect(&m_light, &DrivenLight::keyChanged, this, [this] { takeUsersChange(std::nullopt); });
    // Ignored where the desktop's control serves another light, or none Beamwick drives.
    if (auto* desktop = environment.desktopLight)
        connect(desktop, &DesktopLightNotice::levelSet, this, [this, desktop](int brightness) {
            takeUsersChange(DrivenLight::DesktopLevel{brightness, desktop->maxBrightness()});
        });
    if ((m_darkConditions = environment.darkConditions)) {
        connect(m_darkConditions, &DarkConditions::changed, this, &LogoController::reconsiderDark);
        publish(m_darkReason, darkReasonNow());
    }
    // A service with no light to drive waits for one chosen from the menu; quitting still hands
    // back what earlier runs held.
    if (!std::holds_alternative<DrivenLight::NoLight>(m_light.state()))
        apply();
}

LogoController::~LogoController() = default;

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
    meter.setOnTiming([self](const AudioMeter::OutputTiming& timing) {
        if (self && self->musicRunning())
            self->noteTiming(timing);
    });
}

bool LogoController::setOn(bool on)
{
    emit objectWillChange();
    if (!m_light.switchOn(on)) {
        publish(m_lastError, std::optional<QString>(kRefused));
        return false;
    }
    publish(m_lastError, std::optional<QString>());
    apply();
    return true;
}

void LogoController::setMode(LightMode mode)
{
    publish(m_mode, mode);
    m_defaults.setObject(QStringLiteral("mode"), rawValue(mode));
    apply();
}

void LogoController::removeOldSudoRule()
{
    m_oldRule.remove();
    publish(m_hasOldSudoRule, m_oldRule.exists());
}

void LogoController::handleWillTerminate()
{
    m_flashes.clear();
    m_capture.meter().stop();
    m_light.handBack();
}
