#pragma once

#include "cli/DarkConditionsProbe.h"
#include "cli/DesktopKeyboardProbe.h"
#include "cli/LedStatus.h"
#include "cli/SoundServerProbe.h"

#include <QString>

// The text of `beamwick --status`: the light Beamwick would drive and how, whether the desktop's
// keyboard control serves it, the lid, the
// session's lock and the power supply, whether the sound server answers, and where the settings
// live.
class StatusReport {
public:
    StatusReport(LedStatus led, SoundServerProbe::Result sound, QString settingsPath,
                 DesktopKeyboardProbe::Result keyboard = {}, DarkConditionsProbe::Result dark = {});

    // Gathers everything from the running system: /sys/class/leds, BEAMWICK_LED, logind, UPower
    // and the sound server, and the light chosen from the tray menu in the settings at
    // settingsPath.
    // Reads only; touches no light.
    static StatusReport ofThisSystem(QString settingsPath);

    QString text() const;
    // The exit status of --status: 0 when Beamwick has a light it can write, else 1.
    int exitCode() const { return m_led.usable() ? 0 : 1; }

private:
    QString keyboardLine() const;
    QStringList darkLines() const;

    LedStatus m_led;
    SoundServerProbe::Result m_sound;
    QString m_settingsPath;
    DesktopKeyboardProbe::Result m_keyboard;
    DarkConditionsProbe::Result m_dark;
};
