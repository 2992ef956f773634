#include "remote/PropertyTable.h"

#include "control/LogoController.h"
#include "remote/RemoteNames.h"
#include "remote/SettingRules.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QStringList>

namespace {

const QStringList& writableProperties()
{
    static const QStringList names{RemoteNames::on,          RemoteNames::mode,
                                   RemoteNames::brightness,  RemoteNames::breatheSeconds,
                                   RemoteNames::sensitivity, RemoteNames::light};
    return names;
}

PropertyTable::Refusal invalid(const QString& message)
{
    return {QString::fromLatin1(RemoteNames::invalidArgs), message};
}

// The D-Bus type of a value as a client sent it, for a message that names it.
QString dbusType(const QVariant& value)
{
    // Arrays and structures arrive still marshalled.
    if (value.metaType() == QMetaType::fromType<QDBusArgument>())
        return value.value<QDBusArgument>().currentSignature();
    const char* signature = QDBusMetaType::typeToSignature(value.metaType());
    return signature ? QString::fromLatin1(signature) : QString::fromLatin1(value.typeName());
}

QStringList toStringList(const std::vector<QString>& names)
{
    return QStringList(names.begin(), names.end());
}

} // namespace

QVariantMap PropertyTable::read() const
{
    return {
        {RemoteNames::on, m_logo.isOn()},
        {RemoteNames::mode, rawValue(m_logo.mode())},
        {RemoteNames::brightness, m_logo.brightness()},
        {RemoteNames::breatheSeconds, m_logo.breatheSeconds()},
        {RemoteNames::sensitivity, m_logo.sensitivity()},
        {RemoteNames::light, m_logo.lightIsAutomatic() ? QString() : m_logo.light()},
        {RemoteNames::lights, toStringList(m_logo.lights())},
        {RemoteNames::musicStatus, m_logo.musicStatus()},
        {RemoteNames::lastError, m_logo.lastError().value_or(QString())},
    };
}

bool PropertyTable::has(const QString& property) const
{
    return read().contains(property);
}

bool PropertyTable::writable(const QString& property) const
{
    return writableProperties().contains(property);
}

std::optional<PropertyTable::Refusal> PropertyTable::write(const QString& property,
                                                           const QVariant& value)
{
    if (!writable(property)) {
        return Refusal{QStringLiteral("org.freedesktop.DBus.Error.PropertyReadOnly"),
                       has(property) ? QStringLiteral("%1 is read-only.").arg(property)
                                     : QStringLiteral("No property %1.").arg(property)};
    }
    if (property == QLatin1String(RemoteNames::on)) {
        if (value.typeId() != QMetaType::Bool)
            return invalid(QStringLiteral("On accepts true or false."));
        return switched(value.toBool());
    }
    if (property == QLatin1String(RemoteNames::mode)) {
        const QString text = value.typeId() == QMetaType::QString ? value.toString() : QString();
        const auto mode = lightModeFromRawValue(text);
        if (!mode)
            return invalid(SettingRules::checkMode(text));
        m_logo.setMode(*mode);
        return std::nullopt;
    }
    if (property == QLatin1String(RemoteNames::light)) {
        const QStringList lights = toStringList(m_logo.lights());
        if (value.typeId() != QMetaType::QString)
            return invalid(SettingRules::acceptedLights(lights));
        const QString refusal = SettingRules::checkLight(value.toString(), lights);
        if (!refusal.isEmpty())
            return invalid(refusal);
        if (const auto why = m_logo.chooseLight(value.toString()))
            return Refusal{QString::fromLatin1(RemoteNames::refused), *why};
        return std::nullopt;
    }
    return writeNumber(property, value);
}

std::optional<PropertyTable::Refusal> PropertyTable::switched(bool on)
{
    m_logo.setOn(on);
    if (m_logo.isOn() == on)
        return std::nullopt;
    // The controller says why in lastError, as it does to the panel.
    return Refusal{QString::fromLatin1(RemoteNames::refused),
                   m_logo.lastError().value_or(QStringLiteral("The light did not switch."))};
}

std::optional<PropertyTable::Refusal> PropertyTable::writeNumber(const QString& property,
                                                                 const QVariant& value)
{
    // The property is declared a double; an integer is as much a mistake of the caller's as a
    // string, and busctl's `i 2` would otherwise pass for `d 2`.
    if (value.typeId() != QMetaType::Double)
        return invalid(
            QStringLiteral("%1 takes a double (type d), not type %2. %3")
                .arg(property, dbusType(value), SettingRules::checkNumber(property, qQNaN())));
    const double number = value.toDouble();
    const QString refusal = SettingRules::checkNumber(property, number);
    if (!refusal.isEmpty())
        return invalid(refusal);
    if (property == QLatin1String(RemoteNames::brightness))
        m_logo.setBrightness(number);
    else if (property == QLatin1String(RemoteNames::breatheSeconds))
        m_logo.setBreatheSeconds(number);
    else
        m_logo.setSensitivity(number);
    return std::nullopt;
}
