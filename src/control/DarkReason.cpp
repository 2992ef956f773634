#include "control/DarkReason.h"

std::optional<DarkReason> darkReasonFor(const DarkConditions::Values& values, DarkChoices choices)
{
    if (values.lidClosed.value_or(false))
        return DarkReason::lidClosed;
    if (choices.whenLocked && values.locked.value_or(false))
        return DarkReason::locked;
    if (choices.onBattery && values.onBattery.value_or(false))
        return DarkReason::onBattery;
    return std::nullopt;
}

QString darkReasonText(DarkReason reason)
{
    switch (reason) {
    case DarkReason::lidClosed:
        return QStringLiteral("dark while the lid is closed");
    case DarkReason::locked:
        return QStringLiteral("dark while the session is locked");
    case DarkReason::onBattery:
        return QStringLiteral("dark on battery power");
    }
    return {};
}
