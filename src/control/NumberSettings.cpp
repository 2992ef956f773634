#include "control/NumberSettings.h"

#include <cmath>

const NumberSetting* number_settings::find(QStringView property)
{
    for (const NumberSetting& setting : all) {
        if (property == QLatin1String(setting.property))
            return &setting;
    }
    return nullptr;
}

QString number_settings::rangeText(const NumberSetting& setting)
{
    return QStringLiteral("%1-%2").arg(QString::number(setting.range.low),
                                       QString::number(setting.range.high));
}

bool number_settings::accepts(const NumberSetting& setting, double value)
{
    return std::isfinite(value) && value >= setting.range.low && value <= setting.range.high;
}
