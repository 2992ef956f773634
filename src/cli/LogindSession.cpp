#include "cli/LogindSession.h"

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
    QDBusMessage request = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"),
        QStringLiteral("/org/freedesktop/login1/session/auto"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
    request << QStringLiteral("org.freedesktop.login1.Session");
    const QDBusMessage reply = bus.call(request, QDBus::Block, int(timeout.count()));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    const QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().constFirst());
    const QString id = properties.value(QStringLiteral("Id")).toString();
    if (id.isEmpty() || !properties.value(QStringLiteral("Active")).toBool())
        return std::nullopt;
    return id;
}
