#include "remote/PropertyTable.h"

#include "control/LogoController.h"
#include "remote/RemoteNames.h"
#include "remote/SettingRules.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QStringList>

namespace {

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

// Every property of the interface, once: its D-Bus type, whether a client may write it, and what
// it reads as. The introspection data and the checks of a name come from here.
struct Property {
    const char* name;
    const char* type;
    bool writable;
    QVariant (*read)(const LogoController& logo);
};

const Property kProperties[] = {
    {RemoteNames::on, "b", true, [](const LogoController& l) -> QVariant { return l.isOn(); }},
    {RemoteNames::mode, "s", true,
     [](const LogoController& l) -> QVariant { return rawValue(l.mode()); }},
    {RemoteNames::light, "s", true,
     [](const LogoController& l) -> QVariant {
         return l.lightIsAutomatic() ? QString() : l.light();
     }},
    {RemoteNames::lights, "as", false,
     [](const LogoController& l) -> QVariant { return toStringList(l.lights()); }},
    {RemoteNames::musicStatus, "s", false,
     [](const LogoController& l) -> QVariant { return l.musicStatus(); }},
    {RemoteNames::lastError, "s", false,
     [](const LogoController& l) -> QVariant { return l.lastError().value_or(QString()); }},
    // The output LightDelay applies to, and how far ahead of the ear its server says it runs,
    // in milliseconds.
    {RemoteNames::heardOutput, "s", false,
     [](const LogoController& l) -> QVariant { return l.heardOutput(); }},
    {RemoteNames::reportedLatency, "d", false,
     [](const LogoController& l) -> QVariant {
         return std::chrono::duration<double, std::milli>(l.reportedLead()).count();
     }},
    {RemoteNames::darkWhenLocked, "b", true,
     [](const LogoController& l) -> QVariant { return l.darkWhenLocked(); }},
    {RemoteNames::darkOnBattery, "b", true,
     [](const LogoController& l) -> QVariant { return l.darkOnBattery(); }},
    // Why the light is held dark though on, in the user's words; empty while it is not.
    {RemoteNames::darkReason, "s", false,
     [](const LogoController& l) -> QVariant {
         return l.darkReason() ? darkReasonText(*l.darkReason()) : QString();
     }},
};

// The number settings follow the others, each of type d and writable.
const Property* find(const QString& name)
{
    for (const Property& property : kProperties) {
        if (name == QLatin1String(property.name))
            return &property;
    }
    return nullptr;
}

bool isNumber(const QString& name)
{
    return number_settings::find(name) != nullptr;
}

} // namespace

QVariantMap PropertyTable::read() const
{
    QVariantMap values;
    for (const Property& property : kProperties)
        values.insert(QString::fromLatin1(property.name), property.read(m_logo));
    for (const NumberSetting& setting : number_settings::all)
        values.insert(QString::fromLatin1(setting.property), m_logo.number(setting));
    return values;
}

bool PropertyTable::has(const QString& property)
{
    return find(property) != nullptr || isNumber(property);
}

bool PropertyTable::writable(const QString& property)
{
    const Property* found = find(property);
    return (found && found->writable) || isNumber(property);
}

QString PropertyTable::introspection()
{
    QString xml;
    for (const Property& property : kProperties)
        xml += QStringLiteral("    <property name=\"%1\" type=\"%2\" access=\"%3\"/>\n")
                   .arg(QLatin1String(property.name), QLatin1String(property.type),
                        property.writable ? QLatin1String("readwrite") : QLatin1String("read"));
    for (const NumberSetting& setting : number_settings::all)
        xml += QStringLiteral("    <property name=\"%1\" type=\"d\" access=\"readwrite\"/>\n")
                   .arg(QLatin1String(setting.property));
    return xml;
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
    const bool locked = property == QLatin1String(RemoteNames::darkWhenLocked);
    if (locked || property == QLatin1String(RemoteNames::darkOnBattery)) {
        if (value.typeId() != QMetaType::Bool)
            return invalid(QStringLiteral("%1 accepts true or false.").arg(property));
        locked ? m_logo.setDarkWhenLocked(value.toBool()) : m_logo.setDarkOnBattery(value.toBool());
        return std::nullopt;
    }
    return writeNumber(property, value);
}

std::optional<PropertyTable::Refusal> PropertyTable::switched(bool on)
{
    // Whether the service switched the light, not whether it reads as asked: a light that reads
    // on and has gone away refuses to be switched on.
    if (m_logo.setOn(on))
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
    if (const auto why = m_logo.setNumber(*number_settings::find(property), number))
        return Refusal{QString::fromLatin1(RemoteNames::refused), *why};
    return std::nullopt;
}
