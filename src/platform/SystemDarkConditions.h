#pragma once

#include "platform/DarkConditions.h"
#include "platform/SystemBusReader.h"

#include <string>

// The lid and the session's lock as logind tells them (its manager's LidClosed, the caller's
// session's LockedHint), and the power supply as UPower does (OnBattery), each read once and then
// followed through its change signal, in the Qt event loop. Each service is followed by its name:
// it may start after Beamwick, stop or restart, and what it said goes unknown while it is away.
// Without a system bus everything stays unknown.
class SystemDarkConditions final : public DarkConditions {
    Q_OBJECT
public:
    explicit SystemDarkConditions(QObject* parent = nullptr);
    ~SystemDarkConditions() override;

    // One property followed: its last value, unknown until asked and answered.
    struct Property {
        SystemDarkConditions* owner;
        system_names::Object object;
        const char* name;
        // Where the object is; the session's is learnt from logind.
        std::string path;
        std::optional<bool> value;
        sdbus::Slot changed;
        sdbus::Slot asking;
    };

private:
    friend struct DarkConditionCallbacks;
    void watch(Property& property);
    void ask(Property& property);
    void findSession();
    void forget(Property& property);
    void serviceChanged(const char* name, bool present);
    void postLater();
    void letGo();

    Property m_lid{this, system_names::logindManager, "LidClosed", {}, {}, {}, {}};
    Property m_locked{this, system_names::logindOwnSession, "LockedHint", {}, {}, {}, {}};
    Property m_battery{this, system_names::upowerDaemon, "OnBattery", {}, {}, {}, {}};
    sdbus::Slot m_logindOwner;
    sdbus::Slot m_upowerOwner;
    sdbus::Slot m_session;
    bool m_postQueued = false;
    SystemBusReader m_reader;
};
