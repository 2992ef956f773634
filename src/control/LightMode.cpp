#include "control/LightMode.h"

QString rawValue(LightMode mode)
{
    switch (mode) {
    case LightMode::steady:
        return QStringLiteral("Steady");
    case LightMode::breathe:
        return QStringLiteral("Breathe");
    case LightMode::music:
        return QStringLiteral("Music");
    }
    return {};
}

std::optional<LightMode> lightModeFromRawValue(const QString& raw)
{
    for (LightMode mode : allLightModes) {
        if (rawValue(mode) == raw)
            return mode;
    }
    return std::nullopt;
}
