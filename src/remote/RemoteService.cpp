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

QDBusMessage answered(const QDBusMessage& call,
                      const std::optional<PropertyTable::Refusal>& refusal)
{
    return refusal ? call.createErrorReply(refusal->name, refusal->message) : call.createReply();
}

// Calls that change something, whose answer waits until the change is saved.
bool changes(const QDBusMessage& call)
{
    const QString member = call.member();
    if (call.interface() == QLatin1String(RemoteNames::propertiesInterface))
        return member == QLatin1String("Set");
    return member == QLatin1String("Toggle") || member == QLatin1String("ActivateAction");
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
    if (!m_registered) {
        std::fprintf(stderr, "beamwick: could not serve %s on the session bus: %s\n",
                     RemoteNames::objectPath, qPrintable(m_bus.lastError().message()));
        return false;
    }
    QDBusConnectionInterface* bus = m_bus.interface();
    connect(bus, &QDBusConnectionInterface::serviceRegistered, this, [this](const QString& name) {
        if (name != latin(RemoteNames::busName) || !m_waitingForName)
            return;
        m_waitingForName = false;
        std::fprintf(stderr, "beamwick: took %s on the session bus\n", RemoteNames::busName);
    });
    // Queued rather than refused: a client that holds the name now (another program, or a
    // Beamwick that is only just quitting) lets go of it some time, and the command line and
    // the launcher must find this one then.
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus->registerService(latin(RemoteNames::busName), QDBusConnectionInterface::QueueService,
                             QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) {
        std::fprintf(stderr, "beamwick: could not ask for %s on the session bus: %s\n",
                     RemoteNames::busName, qPrintable(reply.error().message()));
        return false;
    }
    if (reply.value() == QDBusConnectionInterface::ServiceQueued) {
        m_waitingForName = true;
        const QString owner = bus->serviceOwner(latin(RemoteNames::busName));
        const QDBusReply<uint> pid = bus->servicePid(owner);
        std::fprintf(stderr,
                     "beamwick: %s is held by another client on the session bus (%s%s); Beamwick "
                     "takes it as soon as that client lets go of it\n",
                     RemoteNames::busName, qPrintable(owner),
                     pid.isValid() ? qPrintable(QStringLiteral(", process %1").arg(pid.value()))
                                   : "");
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
    // Acknowledged means saved: a kill right after the answer must not lose the change.
    if (changes(message) && m_actions.save) {
        const QString unsaved = m_actions.save();
        if (!unsaved.isEmpty() && reply.type() != QDBusMessage::ErrorMessage)
            reply = message.createErrorReply(
                latin(RemoteNames::notSaved),
                QStringLiteral("The change is made, but it could not be saved: %1").arg(unsaved));
    }
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
        return answered(call, toggle());
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
            return answered(call, m_table.switched(true));
    }
    return call.createReply();
}

QDBusMessage RemoteService::answerBeamwick(const QDBusMessage& call)
{
    if (call.member() == QLatin1String("Toggle") && call.signature().isEmpty())
        return answered(call, toggle());
    return unknownMethod(call);
}

std::optional<PropertyTable::Refusal> RemoteService::toggle()
{
    return m_table.switched(!m_logo.isOn());
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
        return answered(call, m_table.write(name, args.at(2).value<QDBusVariant>().variant()));
    }
    return unknownMethod(call);
}
