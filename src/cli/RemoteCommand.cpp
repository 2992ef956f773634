#include "cli/RemoteCommand.h"

#include "remote/RemoteNames.h"
#include "remote/SettingRules.h"

#include <limits>

namespace {

QString lightValue(const QString& text)
{
    return text == QLatin1String("automatic") ? QString() : text;
}

} // namespace

RemoteCommand::Plan RemoteCommand::plan() const
{
    Plan plan;
    for (const Write& write : m_writes) {
        if (write.property == QLatin1String(RemoteNames::light)) {
            plan.values.push_back({write.property, lightValue(write.text)});
        } else if (write.property == QLatin1String(RemoteNames::mode)) {
            const QString mode = SettingRules::modeIgnoringCase(write.text);
            plan.refusal = SettingRules::checkMode(mode);
            plan.values.push_back({write.property, mode});
        } else if (write.property == QLatin1String(RemoteNames::darkWhenLocked) ||
                   write.property == QLatin1String(RemoteNames::darkOnBattery)) {
            const QString choice = write.text.trimmed().toLower();
            if (choice != QLatin1String("on") && choice != QLatin1String("off"))
                plan.refusal =
                    QStringLiteral("%1 takes on or off, not '%2'.").arg(write.property, write.text);
            plan.values.push_back({write.property, choice == QLatin1String("on")});
        } else {
            bool ok = false;
            double number = write.text.trimmed().toDouble(&ok);
            if (!ok)
                number = std::numeric_limits<double>::quiet_NaN();
            plan.refusal = SettingRules::checkNumber(write.property, number);
            plan.values.push_back({write.property, number});
        }
        if (!plan.refusal.isEmpty()) {
            plan.values.clear();
            return plan;
        }
    }
    return plan;
}

QString RemoteCommand::checkLight(const QStringList& lights) const
{
    for (const Write& write : m_writes) {
        if (write.property == QLatin1String(RemoteNames::light))
            return SettingRules::checkLight(lightValue(write.text), lights);
    }
    return {};
}
