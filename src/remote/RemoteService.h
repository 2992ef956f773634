#pragma once

#include "remote/ChangeAnnouncer.h"
#include "remote/PropertyTable.h"

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <functional>

class LogoController;

// The running Beamwick on the session bus: org.freedesktop.Application (Activate, the actions
// toggle, steady, breathe, music and quit; Open is refused) and org.beamwick.Beamwick1 (the
// properties of PropertyTable, Toggle(), PropertiesChanged). Served by hand rather than through
// Qt's adaptors, so that a refused property write answers with an error and changes nothing.
class RemoteService : public QDBusVirtualObject {
    Q_OBJECT
public:
    struct Actions {
        // Shows the panel, or the window, as a second launch does.
        std::function<void()> activate;
        // The normal quit: the light is handed back as found.
        std::function<void()> quit;
        // Saves the settings now; empty when they are saved, else why not. A change is answered
        // only after it; none means nothing to save.
        std::function<QString()> save = {};
    };

    RemoteService(LogoController& logo, Actions actions,
                  QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~RemoteService() override;

    // Puts the object on the bus and asks for the bus name, which it takes at once or, while
    // another client holds it, as soon as that one lets go (saying so on stderr). False (with a
    // line on stderr when a bus is there) when either cannot be done: Beamwick runs on without.
    bool publish();
    // Whether the bus name is still held by another client.
    bool waitingForName() const { return m_waitingForName; }

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    QDBusMessage answerApplication(const QDBusMessage& call);
    QDBusMessage answerBeamwick(const QDBusMessage& call);
    QDBusMessage answerProperties(const QDBusMessage& call);
    QDBusMessage activateAction(const QDBusMessage& call, const QString& action);
    std::optional<PropertyTable::Refusal> toggle();

    LogoController& m_logo;
    Actions m_actions;
    QDBusConnection m_bus;
    PropertyTable m_table;
    ChangeAnnouncer m_changes;
    bool m_registered = false;
    bool m_waitingForName = false;
};
