#pragma once

#include "control/NumberSettings.h"

#include <QString>
#include <QStringList>
#include <optional>

// What a write from outside the panel may set: the ranges the panel's own controls produce, the
// three modes and the lights there are. The controller itself validates nothing, so every value
// that arrives over the bus or the command line is checked here first. Each check gives an empty
// text when the value is accepted, else a message naming what is accepted.
class SettingRules {
public:
    // NaN and the infinities are never accepted.
    static QString checkNumber(const QString& property, double value);
    // Only the exact raw values "Steady", "Breathe" and "Music".
    static QString checkMode(const QString& mode);
    // "" (Automatic) or one of the lights.
    static QString checkLight(const QString& light, const QStringList& lights);
    // The message for a light that is not accepted.
    static QString acceptedLights(const QStringList& lights);

    // The raw value of a mode written in any letter case; empty when there is none.
    static QString modeIgnoringCase(const QString& text);
};
