#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QVariantMap>

class LogoController;
class PropertyTable;

// Sends org.freedesktop.DBus.Properties.PropertiesChanged for every property that changed,
// whatever changed it: the panel, the light menu, a brightness key, a remote call. The controller
// signals before each write, so the properties are compared once the writes of that turn of the
// event loop are done: one signal per burst, carrying only what differs.
class ChangeAnnouncer : public QObject {
    Q_OBJECT
public:
    ChangeAnnouncer(LogoController& logo, const PropertyTable& table, QDBusConnection bus,
                    QObject* parent = nullptr);

    // Compares now and sends what changed (a remote write calls it before it answers, so the
    // caller sees the signal first).
    void announce();

private:
    void schedule();

    const PropertyTable& m_table;
    QDBusConnection m_bus;
    QVariantMap m_known;
    bool m_scheduled = false;
};
