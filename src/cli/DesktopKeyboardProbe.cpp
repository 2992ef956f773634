#include "cli/DesktopKeyboardProbe.h"

#include "systembus/SystemNames.h"

#include <QDBusConnection>
#include <QDBusMessage>

DesktopKeyboardProbe::Result DesktopKeyboardProbe::ask(std::chrono::milliseconds timeout)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return {};
    const auto& keyboard = system_names::upowerKeyboard;
    const QDBusMessage reply =
        bus.call(QDBusMessage::createMethodCall(
                     QString::fromLatin1(keyboard.service), QString::fromLatin1(keyboard.path),
                     QString::fromLatin1(keyboard.interface), QStringLiteral("GetMaxBrightness")),
                 QDBus::Block, int(timeout.count()));
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
        return {true, qMax(0, reply.arguments().constFirst().toInt())};
    // There, but without a keyboard light to serve.
    const bool absent =
        reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply");
    return {!absent, 0};
}
