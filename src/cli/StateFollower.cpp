#include "cli/StateFollower.h"

#include "cli/StateJson.h"
#include "remote/RemoteNames.h"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <cstdio>

StateFollower::StateFollower(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus))
{
    m_bus.connect(
        QString::fromLatin1(RemoteNames::busName), QString::fromLatin1(RemoteNames::objectPath),
        QString::fromLatin1(RemoteNames::propertiesInterface), QStringLiteral("PropertiesChanged"),
        this, SLOT(changed(QString, QVariantMap, QStringList)));
}

int StateFollower::run(QVariantMap state)
{
    QEventLoop loop;
    QDBusServiceWatcher watcher(QString::fromLatin1(RemoteNames::busName), m_bus,
                                QDBusServiceWatcher::WatchForUnregistration);
    connect(&watcher, &QDBusServiceWatcher::serviceUnregistered, &loop, &QEventLoop::quit);
    // Changes that came while the state was read are delivered next, on top of it.
    m_state = std::move(state);
    m_running = true;
    print();
    if (m_bus.interface()->isServiceRegistered(QString::fromLatin1(RemoteNames::busName)))
        loop.exec();
    return 0;
}

void StateFollower::changed(const QString& interface, const QVariantMap& properties,
                            const QStringList&)
{
    if (interface != QLatin1String(RemoteNames::interface))
        return;
    m_state.insert(properties);
    if (m_running)
        print();
}

void StateFollower::print() const
{
    std::fputs(StateJson::line(m_state).constData(), stdout);
    std::fflush(stdout);
}
