#pragma once

#include "control/ControllerEnvironment.h"
#include "control/DarkReason.h"
#include "control/DrivenLight.h"
#include "control/EffectTimer.h"
#include "control/FlashSchedule.h"
#include "control/LightMode.h"
#include "control/MusicCapture.h"
#include "control/NumberSettings.h"
#include "control/OldSudoRule.h"
#include "platform/Clock.h"
#include "serviceabi/ServiceContract.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <optional>
#include <vector>

class DefaultsStore;

// Owns the user's settings and the effect engine that decides the light's level at every moment;
// the light itself (which one, its factory table, on or off, writing a level, the hand-back at
// quit) is DrivenLight's, and Music's audio MusicCapture's. Main thread only.
//
// Every write of a published property (isOn ... lastError) first emits objectWillChange(),
// whether or not the value changes; the panel and the tray icon redraw on it. isOn is the
// service's word, so it is signalled before anything that may switch the light.
class LogoController : public QObject {
    Q_OBJECT
public:
    // What it runs on; see ControllerEnvironment.
    using Environment = ControllerEnvironment;

    static constexpr double maxBoost = ServiceContract::topLevel;

    explicit LogoController(Environment environment, QObject* parent = nullptr);
    ~LogoController() override;

    // Published properties.
    bool isOn() const { return m_light.isOn(); }
    LightMode mode() const { return m_mode; }
    double brightness() const { return m_brightness; }
    double breatheSeconds() const { return m_breatheSeconds; }
    double sensitivity() const { return m_sensitivity; }
    QString musicStatus() const { return m_capture.status(); }
    // The output Music heard last (empty before it first heard one), how far ahead of the ear
    // its server says it runs while Music hears it, and the user's delay for it in milliseconds.
    QString heardOutput() const { return m_heardOutput; }
    std::chrono::microseconds reportedLead() const { return m_capture.shownLead(); }
    double lightDelay() const { return number(number_settings::lightDelay); }
    bool hasOldSudoRule() const { return m_hasOldSudoRule; }
    // Whether the light goes dark while the session is locked, and while on battery; and why it
    // is held dark now, though on: none while it shows as the user set it.
    bool darkWhenLocked() const { return m_darkChoices.whenLocked; }
    bool darkOnBattery() const { return m_darkChoices.onBattery; }
    const std::optional<DarkReason>& darkReason() const { return m_darkReason; }
    const std::optional<QString>& lastError() const { return m_lastError; }

    // The user's operations. setOn answers whether the light switched; lastError says why not.
    bool setOn(bool on);
    void setMode(LightMode mode);
    void setBrightness(double brightness) { setNumber(number_settings::brightness, brightness); }
    void setBreatheSeconds(double seconds) { setNumber(number_settings::breatheSeconds, seconds); }
    void setSensitivity(double sensitivity)
    {
        setNumber(number_settings::sensitivity, sensitivity);
    }
    // Any number setting, the light delay for the output heard now. Saved, and put to use at
    // once; a light delay before any output was heard is refused, with why.
    double number(const NumberSetting& setting) const;
    std::optional<QString> setNumber(const NumberSetting& setting, double value);
    void removeOldSudoRule();
    // Saved; while held dark, every change waits for the light to come back.
    void setDarkWhenLocked(bool dark);
    void setDarkOnBattery(bool dark);

    // The lights the service can drive, by name, and the one in use; empty where the service
    // cannot tell.
    std::vector<QString> lights() const { return m_light.lights(); }
    QString light() const;
    // Whether the user left the choice of light to the service's own rule.
    bool lightIsAutomatic() const;
    // Drives the named light from now on ("" for the service's own pick), once the service has
    // taken it: the light driven until then is handed back as at quit, the choice saved, and the
    // new one started as at start, on or off as found. A light the service does not take leaves
    // everything as it was; why, in the user's words, is the answer and lastError.
    std::optional<QString> chooseLight(const QString& name);

signals:
    void objectWillChange();

private:
    static constexpr double floorLevel = 0.03;

    template <typename T> void publish(T& field, T value)
    {
        emit objectWillChange();
        field = std::move(value);
    }

    // The effect engine.
    void apply();
    void tick();
    void handleAudio(double bass, double average);
    void flash(Clock::TimePoint heard);
    void showDueFlash();

    void loadSettings();
    // Takes the light in use as at start, on or off as the service finds it; a start that works
    // leaves no error of an earlier one.
    void startLight();
    void installLevelCallback();
    void handleWillTerminate();
    void handleResume();
    // Holds the light dark, or lets it back as the user set it, as the system's conditions and
    // the user's choices now say.
    void reconsiderDark();
    std::optional<DarkReason> darkReasonNow() const;
    void loadDarkChoices();
    void setDarkChoice(bool DarkChoices::*choice, const char* key, bool dark);
    // A brightness key or the desktop set the light: on or off as it is now, and a brightness
    // set becomes the one every mode scales and quitting gives back.
    void takeUsersChange(const std::optional<DrivenLight::DesktopLevel>& desktop);
    // The factory table to dim by; empty where the light has none.
    const DrivenLight::Table& baseMap() const;
    bool musicRunning() const;
    void startTimer() { m_timer.start(); }
    void noteTiming(const AudioMeter::OutputTiming& timing);
    // The user's delay for the output the capture hears, as a duration.
    Clock::Duration delayHeard() const;

    // Published, in declaration order; isOn is the light's.
    LightMode m_mode = LightMode::steady;
    double m_brightness = 1.0;
    double m_breatheSeconds = 5.0;
    double m_sensitivity = 1.5;
    // musicStatus is the capture's.
    bool m_hasOldSudoRule = false;
    std::optional<QString> m_lastError;
    DarkChoices m_darkChoices;
    std::optional<DarkReason> m_darkReason;
    QString m_heardOutput;
    // As saved: delays by output name; an entry that is not a number reads as none.
    QJsonObject m_lightDelays;

    DrivenLight m_light;
    // Owned by the controller and connected with it as the receiver, so a tick can never reach
    // a destroyed controller.
    EffectTimer m_timer;
    double m_phase = 0.0;
    // The last beat taken, when the capture heard it; the refractory time counts from then.
    Clock::TimePoint m_lastBeat = Clock::distantPast();
    // When the last flash began: its beat was heard then, and it lasts a fixed time.
    Clock::TimePoint m_flashStart = Clock::distantPast();
    FlashSchedule m_flashes;
    MusicCapture m_capture;
    DefaultsStore& m_defaults;
    const Clock& m_clock;
    OldSudoRule m_oldRule;
    DarkConditions* m_darkConditions = nullptr;
};
