#include "cli/RemoteClient.h"

#include "cli/StateFollower.h"
#include "cli/StateJson.h"
#include "remote/RemoteNames.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <cstdio>

namespace {

QString latin(const char* text)
{
    return QString::fromLatin1(text);
}

QDBusMessage callOf(const char* interface, const QString& method)
{
    return QDBusMessage::createMethodCall(latin(RemoteNames::busName),
                                          latin(RemoteNames::objectPath), latin(interface), method);
}

int refuse(const QString& message)
{
    std::fprintf(stderr, "beamwick: %s\n", qPrintable(message));
    return 1;
}

} // namespace

RemoteClient::RemoteClient(QDBusConnection bus) : m_bus(std::move(bus)) {}

bool RemoteClient::running() const
{
    return m_bus.isConnected() &&
           m_bus.interface()->isServiceRegistered(latin(RemoteNames::busName));
}

int RemoteClient::notRunning() const
{
    std::fputs("Beamwick is not running\n", stderr);
    return 1;
}

bool RemoteClient::start()
{
    if (!m_bus.isConnected())
        return false;
    QEventLoop loop;
    QDBusServiceWatcher watcher(latin(RemoteNames::busName), m_bus,
                                QDBusServiceWatcher::WatchForRegistration);
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceRegistered, &loop, &QEventLoop::quit);
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);

    // Detached and silent: the new Beamwick outlives this call, and must not hold the caller's
    // output open (a status bar or `$(...)` waits for it to close).
    QProcess beamwick;
    beamwick.setProgram(QCoreApplication::applicationFilePath());
    beamwick.setStandardInputFile(QProcess::nullDevice());
    beamwick.setStandardOutputFile(QProcess::nullDevice());
    beamwick.setStandardErrorFile(QProcess::nullDevice());
    if (!beamwick.startDetached())
        return false;
    limit.start(startLimit);
    if (!running())
        loop.exec();
    return running();
}

int RemoteClient::control(const RemoteCommand& command)
{
    // Everything that can be checked here is checked before anything starts or changes.
    const RemoteCommand::Plan plan = command.plan();
    if (!plan.refusal.isEmpty())
        return refuse(plan.refusal);
    if (!running() && !start())
        return refuse(
            m_bus.isConnected()
                ? QStringLiteral("Beamwick did not start within %1 seconds.")
                      .arg(startLimit.count())
                : QStringLiteral("There is no session bus: %1").arg(m_bus.lastError().message()));
    const auto state = readAll();
    if (!state)
        return refuse(QStringLiteral("Beamwick does not answer."));
    const QString lightRefusal =
        command.checkLight(state->value(latin(RemoteNames::lights)).toStringList());
    if (!lightRefusal.isEmpty())
        return refuse(lightRefusal);

    for (const auto& [property, value] : plan.values) {
        const QString error = set(property, value);
        if (!error.isEmpty())
            return refuse(error);
    }
    QString error;
    switch (command.power()) {
    case RemoteCommand::Switch::on:
    case RemoteCommand::Switch::off:
        error = set(latin(RemoteNames::on), command.power() == RemoteCommand::Switch::on);
        break;
    case RemoteCommand::Switch::toggle:
        error = call(QStringLiteral("Toggle"));
        break;
    case RemoteCommand::Switch::none:
        break;
    }
    return error.isEmpty() ? 0 : refuse(error);
}

int RemoteClient::get()
{
    if (!running())
        return notRunning();
    const auto state = readAll();
    if (!state)
        return notRunning();
    std::fputs(StateJson::line(*state).constData(), stdout);
    return 0;
}

int RemoteClient::follow()
{
    if (!running())
        return notRunning();
    StateFollower follower(m_bus);
    const auto state = readAll();
    if (!state)
        return notRunning();
    return follower.run(*state);
}

std::optional<QVariantMap> RemoteClient::readAll() const
{
    QDBusMessage request = callOf(RemoteNames::propertiesInterface, QStringLiteral("GetAll"));
    request << latin(RemoteNames::interface);
    const QDBusReply<QVariantMap> reply = m_bus.call(request);
    if (!reply.isValid())
        return std::nullopt;
    return reply.value();
}

QString RemoteClient::set(const QString& property, const QVariant& value) const
{
    QDBusMessage request = callOf(RemoteNames::propertiesInterface, QStringLiteral("Set"));
    request << latin(RemoteNames::interface) << property
            << QVariant::fromValue(QDBusVariant(value));
    const QDBusMessage reply = m_bus.call(request);
    return reply.type() == QDBusMessage::ErrorMessage ? reply.errorMessage() : QString();
}

QString RemoteClient::call(const QString& method) const
{
    const QDBusMessage reply = m_bus.call(callOf(RemoteNames::interface, method));
    return reply.type() == QDBusMessage::ErrorMessage ? reply.errorMessage() : QString();
}
