#include "remote/RemoteService.h"

#include "control/LogoController.h"
#include "remote/InterfaceXml.h"
#include "remote/RemoteNames.h"
#include "remote/SettingRules.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <cstdio>

namespace {

QString latin(const char* text)
{
    return QString::fromLatin1(text);
}

QDBusMessage unknownMethod(const QDBusMessage& call)
{
    return call.createErrorReply(QDBusError::UnknownMethod,
                                 QStringLiteral("No method %1.%2 with signature \"%3\".")
                                     .arg(call.interface(), call.member(), call.signature()));
}

QDBusMessage invalidArgs(const QDBusMessage& call, const QString& message)
{
    return call.createErrorReply(latin(RemoteNames::invalidArgs), message);
}

} // namespace

RemoteService::RemoteService(LogoController& logo, Actions actions, QDBusConnection bus,
                             QObject* parent)
    : QDBusVirtualObject(parent), m_logo(logo), m_actions(std::move(actions)), m_bus(bus),
      m_table(logo), m_changes(logo, m_table, bus)
{}

RemoteService::~RemoteService()
{
    if (m_registered)
        m_bus.unregisterObject(latin(RemoteNames::objectPath));
}

bool RemoteService::publish()
{
    if (!m_bus.isConnected())
        return false;
    m_registered = m_bus.registerVirtualObject(latin(RemoteNames::objectPath), this);
    if (!m_registered || !m_bus.registerService(latin(RemoteNames::busName))) {
        std::fprintf(stderr, "beamwick: could not take %s on the session bus: %s\n",
                     RemoteNames::busName, qPrintable(m_bus.lastError().message()));
        return false;
    }
    return true;
}

QString RemoteService::introspect(const QString&) const
{
    return InterfaceXml::interfaces();
}

bool RemoteService::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    if (message.type() != QDBusMessage::MethodCallMessage)
        return false;
    const QString interface = message.interface();
    QDBusMessage reply;
    if (interface == QLatin1String(RemoteNames::propertiesInterface))
        reply = answerProperties(message);
    else if (interface == QLatin1String(RemoteNames::applicationInterface))
        reply = answerApplication(message);
    else if (interface == QLatin1String(RemoteNames::interface))
        reply = answerBeamwick(message);
    else if (interface.isEmpty() && message.member() == QLatin1String("Toggle"))
        reply = answerBeamwick(message);
    else
        return false; // Qt answers the other standard interfaces itself.
    // A remote write announces its changes before it answers.
    m_changes.announce();
    if (!message.isReplyRequired())
        return true;
    connection.send(reply);
    return true;
}

QDBusMessage RemoteService::answerApplication(const QDBusMessage& call)
{
    const QString member = call.member();
    const QVariantList args = call.arguments();
    if (member == QLatin1String("Activate") && call.signature() == QLatin1String("a{sv}")) {
        m_actions.activate();
        return call.createReply();
    }
    if (member == QLatin1String("ActivateAction") && call.signature() == QLatin1String("sava{sv}"))
        return activateAction(call, args.at(0).toString());
    if (member == QLatin1String("Open"))
        return call.createErrorReply(QDBusError::NotSupported,
                                     QStringLiteral("Beamwick opens no files."));
    return unknownMethod(call);
}

QDBusMessage RemoteService::activateAction(const QDBusMessage& call, const QString& action)
{
    if (action == QLatin1String("toggle")) {
        toggle();
    } else if (action == QLatin1String("quit")) {
        // After the answer has gone: the quit ends the event loop.
        QMetaObject::invokeMethod(
            this, [this] { m_actions.quit(); }, Qt::QueuedConnection);
    } else {
        // The actions are named in lower case; the modes' raw values are capitalised.
        const QString raw = SettingRules::modeIgnoringCase(action);
        const auto mode = lightModeFromRawValue(raw);
        if (!mode || action != raw.toLower())
            return invalidArgs(call, QStringLiteral("ActivateAction accepts toggle, steady, "
                                                    "breathe, music or quit."));
        m_logo.setMode(*mode);
        // An action named after a mode, chosen from a launcher, is asked to show that mode.
        if (!m_logo.isOn())
            m_logo.setOn(true);
    }
    return call.createReply();
}

QDBusMessage RemoteService::answerBeamwick(const QDBusMessage& call)
{
    if (call.member() == QLatin1String("Toggle") && call.signature().isEmpty()) {
        toggle();
        return call.createReply();
    }
    return unknownMethod(call);
}

void RemoteService::toggle()
{
    m_logo.setOn(!m_logo.isOn());
}

QDBusMessage RemoteService::answerProperties(const QDBusMessage& call)
{
    const QString member = call.member();
    const QVariantList args = call.arguments();
    const QString signature = call.signature();
    const bool ours =
        !args.isEmpty() && (args.at(0).toString().isEmpty() ||
                            args.at(0).toString() == QLatin1String(RemoteNames::interface));
    if (member == QLatin1String("GetAll") && signature == QLatin1String("s"))
        return call.createReply(ours ? m_table.read() : QVariantMap());
    if ((member == QLatin1String("Get") && signature == QLatin1String("ss")) ||
        (member == QLatin1String("Set") && signature == QLatin1String("ssv"))) {
        const QString name = args.at(1).toString();
        if (!ours || !m_table.has(name))
            return call.createErrorReply(QDBusError::UnknownProperty,
                                         QStringLiteral("No property %1.").arg(name));
        if (member == QLatin1String("Get"))
            return call.createReply(QVariant::fromValue(QDBusVariant(m_table.read().value(name))));
        const auto refusal = m_table.write(name, args.at(2).value<QDBusVariant>().variant());
        if (refusal)
            return call.createErrorReply(refusal->name, refusal->message);
        return call.createReply();
    }
    return unknownMethod(call);
}
