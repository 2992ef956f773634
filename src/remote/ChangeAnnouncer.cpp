#include "remote/ChangeAnnouncer.h"

#include "control/LogoController.h"
#include "remote/PropertyTable.h"
#include "remote/RemoteNames.h"

#include <QDBusMessage>
#include <QStringList>
#include <QTimer>

ChangeAnnouncer::ChangeAnnouncer(LogoController& logo, const PropertyTable& table,
                                 QDBusConnection bus, QObject* parent)
    : QObject(parent), m_table(table), m_bus(std::move(bus)), m_known(table.read())
{
    connect(&logo, &LogoController::objectWillChange, this, &ChangeAnnouncer::schedule);
}

void ChangeAnnouncer::schedule()
{
    // Without a bus there is nobody to tell, and reading the lights is not free.
    if (m_scheduled || !m_bus.isConnected())
        return;
    m_scheduled = true;
    QTimer::singleShot(0, this, &ChangeAnnouncer::announce);
}

void ChangeAnnouncer::announce()
{
    m_scheduled = false;
    const QVariantMap now = m_table.read();
    QVariantMap changed;
    for (auto it = now.begin(); it != now.end(); ++it) {
        if (m_known.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    m_known = now;
    if (changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(RemoteNames::objectPath),
        QString::fromLatin1(RemoteNames::propertiesInterface), QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(RemoteNames::interface) << changed << QStringList();
    m_bus.send(signal);
}
