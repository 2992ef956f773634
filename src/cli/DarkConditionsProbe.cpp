#include "cli/DarkConditionsProbe.h"

#include "systembus/SystemNames.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

namespace {

std::optional<bool> askFlag(QDBusConnection& bus, const system_names::Object& object,
                            const char* property, std::chrono::milliseconds timeout)
{
    QDBusMessage request = QDBusMessage::createMethodCall(
        QString::fromLatin1(object.service), QString::fromLatin1(object.path),
        QString::fromLatin1(system_names::properties), QStringLiteral("Get"));
    request << QString::fromLatin1(object.interface) << QString::fromLatin1(property);
    const QDBusMessage reply = bus.call(request, QDBus::Block, int(timeout.count()));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    const QVariant value = reply.arguments().constFirst().value<QDBusVariant>().variant();
    if (value.typeId() != QMetaType::Bool)
        return std::nullopt;
    return value.toBool();
}

} // namespace

DarkConditionsProbe::Result DarkConditionsProbe::ask(std::chrono::milliseconds timeout)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return {};
    return {askFlag(bus, system_names::logindManager, "LidClosed", timeout),
            askFlag(bus, system_names::logindOwnSession, "LockedHint", timeout),
            askFlag(bus, system_names::upowerDaemon, "OnBattery", timeout)};
}
