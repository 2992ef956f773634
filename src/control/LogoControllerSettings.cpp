// The user's number settings: loaded once, and each change saved and put to use.
#include "control/LogoController.h"
#include "control/StoredSettings.h"
#include "platform/DefaultsStore.h"

namespace {

using Id = NumberSetting::Id;

} // namespace

void LogoController::loadSettings()
{
    const auto mode = lightModeFromRawValue(StoredSettings::string(m_defaults, "mode"));
    publish(m_mode, mode.value_or(LightMode::steady));

    for (const NumberSetting& setting : number_settings::all) {
        if (setting.perOutput) {
            const auto saved = m_defaults.object(QString::fromLatin1(setting.key));
            publish(m_lightDelays, saved ? saved->toObject() : QJsonObject());
            continue;
        }
        const auto value = StoredSettings::number(m_defaults, setting.key);
        if (!value)
            continue;
        switch (setting.id) {
        case Id::brightness:
            publish(m_brightness, *value);
            break;
        case Id::breatheSeconds:
            publish(m_breatheSeconds, *value);
            break;
        case Id::sensitivity:
            publish(m_sensitivity, *value);
            break;
        case Id::lightDelay:
            break;
        }
    }
}

double LogoController::number(const NumberSetting& setting) const
{
    switch (setting.id) {
    case Id::brightness:
        return m_brightness;
    case Id::breatheSeconds:
        return m_breatheSeconds;
    case Id::sensitivity:
        return m_sensitivity;
    case Id::lightDelay: {
        // Only a hand-edited file holds one out of range, which could put every flash off for
        // days: it reads as none.
        const QJsonValue saved = m_lightDelays.value(m_heardOutput);
        return saved.isDouble() && number_settings::accepts(setting, saved.toDouble())
                   ? saved.toDouble()
                   : setting.fallback;
    }
    }
    return setting.fallback;
}

std::optional<QString> LogoController::setNumber(const NumberSetting& setting, double value)
{
    const QString key = QString::fromLatin1(setting.key);
    switch (setting.id) {
    case Id::brightness:
        publish(m_brightness, value);
        if (m_mode == LightMode::steady && !m_darkReason)
            m_light.setLevel(value);
        break;
    case Id::breatheSeconds:
        publish(m_breatheSeconds, value);
        break;
    case Id::sensitivity:
        publish(m_sensitivity, value);
        break;
    case Id::lightDelay: {
        if (m_heardOutput.isEmpty())
            return QStringLiteral("No output heard yet: the light delay is kept for each output, "
                                  "so play something in Music first.");
        QJsonObject delays = m_lightDelays;
        delays.insert(m_heardOutput, value);
        publish(m_lightDelays, delays);
        // The other outputs' entries go back as they were, even ones that are not numbers.
        m_defaults.setObject(key, m_lightDelays);
        return std::nullopt;
    }
    }
    // JSON has no NaN or infinity; such a value would be saved as null and read back as 0.
    m_defaults.setObject(key, QJsonValue(value));
    return std::nullopt;
}

void LogoController::noteTiming(const AudioMeter::OutputTiming& timing)
{
    m_capture.noteTiming(timing);
    const QString output = QString::fromStdString(timing.output);
    if (output != m_heardOutput)
        publish(m_heardOutput, output);
}

Clock::Duration LogoController::delayHeard() const
{
    const double ms = number(number_settings::lightDelay);
    return std::chrono::duration_cast<Clock::Duration>(
        std::chrono::duration<double, std::milli>(ms));
}
