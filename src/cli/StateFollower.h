#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// --follow: prints the running Beamwick's state at once, then again, one line each, after every
// PropertiesChanged it sends, until it leaves the bus.
class StateFollower : public QObject {
    Q_OBJECT
public:
    // Listens from construction on, so that no change between reading the state and run() is
    // missed.
    explicit StateFollower(QDBusConnection bus, QObject* parent = nullptr);

    // Prints `state` and follows; returns 0 once Beamwick has quit.
    int run(QVariantMap state);

private slots:
    void changed(const QString& interface, const QVariantMap& properties,
                 const QStringList& invalidated);

private:
    void print() const;

    QDBusConnection m_bus;
    QVariantMap m_state;
    bool m_running = false;
};
