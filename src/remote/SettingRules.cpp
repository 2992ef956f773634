#include "remote/SettingRules.h"

#include "control/LightMode.h"
#include "remote/RemoteNames.h"

QString SettingRules::checkNumber(const QString& property, double value)
{
    const NumberSetting* setting = number_settings::find(property);
    if (!setting)
        return QStringLiteral("%1 is not a number setting.").arg(property);
    if (number_settings::accepts(*setting, value))
        return {};
    return QStringLiteral("%1 accepts a number from %2 to %3.")
        .arg(property, QString::number(setting->range.low), QString::number(setting->range.high));
}

QString SettingRules::checkMode(const QString& mode)
{
    if (lightModeFromRawValue(mode))
        return {};
    return QStringLiteral("Mode accepts \"Steady\", \"Breathe\" or \"Music\".");
}

QString SettingRules::checkLight(const QString& light, const QStringList& lights)
{
    if (light.isEmpty() || lights.contains(light))
        return {};
    // Named first: a light that was there a moment ago (unplugged, say) is the likely case.
    return QStringLiteral("There is no light %1. ").arg(light) + acceptedLights(lights);
}

QString SettingRules::acceptedLights(const QStringList& lights)
{
    QString accepted = QStringLiteral("Light accepts \"\" for Automatic");
    for (const QString& name : lights)
        accepted += QStringLiteral(", \"%1\"").arg(name);
    return accepted + QLatin1Char('.');
}

QString SettingRules::modeIgnoringCase(const QString& text)
{
    for (const LightMode mode : allLightModes) {
        if (rawValue(mode).compare(text, Qt::CaseInsensitive) == 0)
            return rawValue(mode);
    }
    return {};
}
