#include "shell/StatusNotifierWatch.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>

namespace {

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
// A watcher that does not answer this fast is treated as absent for now; the next poll asks
// again.
constexpr int kWatcherTimeoutMs = 250;

} // namespace

StatusNotifierWatch::StatusNotifierWatch(QObject* parent) : QObject(parent)
{
    followBus(true);
}

StatusNotifierWatch::~StatusNotifierWatch()
{
    followBus(false);
}

void StatusNotifierWatch::followBus(bool follow)
{
    // Plain signal matches, undone here by hand: left to Qt (or to a QDBusServiceWatcher), they
    // are dropped on the bus's own thread after this object has gone, and at exit that work can
    // be left undone and leak.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    const QString daemon = QStringLiteral("org.freedesktop.DBus");
    const QString ownerChanged = QStringLiteral("NameOwnerChanged");
    const QStringList ofTheWatcher{kWatcherService};
    const QString hostRegistered = QStringLiteral("StatusNotifierHostRegistered");
    const QString hostUnregistered = QStringLiteral("StatusNotifierHostUnregistered");
    if (follow) {
        bus.connect(daemon, QStringLiteral("/org/freedesktop/DBus"), daemon, ownerChanged,
                    ofTheWatcher, QString(), this, SLOT(onHostSignal()));
        for (const QString& member : {hostRegistered, hostUnregistered})
            bus.connect(QString(), kWatcherPath, kWatcherService, member, this,
                        SLOT(onHostSignal()));
    } else {
        bus.disconnect(daemon, QStringLiteral("/org/freedesktop/DBus"), daemon, ownerChanged,
                       ofTheWatcher, QString(), this, SLOT(onHostSignal()));
        for (const QString& member : {hostRegistered, hostUnregistered})
            bus.disconnect(QString(), kWatcherPath, kWatcherService, member, this,
                           SLOT(onHostSignal()));
    }
}

void StatusNotifierWatch::onHostSignal()
{
    emit changed();
}

bool StatusNotifierWatch::hostRegistered() const
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered(kWatcherService))
        return false;
    QDBusMessage request = QDBusMessage::createMethodCall(
        kWatcherService, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    request << kWatcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(request, QDBus::Block, kWatcherTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    return qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toBool();
}
