#include "cli/LogindSession.h"

#include "systembus/SystemNames.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QVariantMap>

std::optional<QString> LogindSession::activeId(std::chrono::milliseconds timeout)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return std::nullopt;
    const auto& session = system_names::logindOwnSession;
    QDBusMessage request = QDBusMessage::createMethodCall(
        QString::fromLatin1(session.service), QString::fromLatin1(session.path),
        QString::fromLatin1(system_names::properties), QStringLiteral("GetAll"));
    request << QString::fromLatin1(session.interface);
    const QDBusMessage reply = bus.call(request, QDBus::Block, int(timeout.count()));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    const QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().constFirst());
    const QString id = properties.value(QStringLiteral("Id")).toString();
    if (id.isEmpty() || !properties.value(QStringLiteral("Active")).toBool())
        return std::nullopt;
    return id;
}
