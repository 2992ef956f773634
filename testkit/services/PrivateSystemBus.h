#pragma once

#include "ChildProcess.h"
#include "PrivateBus.h"
#include "PrivateFolder.h"

#include <map>
#include <string>
#include <vector>

// A bus of the test's own standing in for the system bus, optionally with a mock logind on it
// (python3-dbusmock: either the session of logind_session.py beside this file, or dbusmock's
// own logind manager). Both processes are stopped by their process ids when this goes.
class PrivateSystemBus {
public:
    PrivateSystemBus();
    ~PrivateSystemBus();
    PrivateSystemBus(const PrivateSystemBus&) = delete;
    PrivateSystemBus& operator=(const PrivateSystemBus&) = delete;

    // False, with errorText, when the daemon did not answer within its bound.
    bool start();
    // `behaviour`: "accept", "refuse" or "stall"; see logind_session.py.
    bool startLogind(const std::string& behaviour);
    // dbusmock's logind manager (its "logind" template) instead of the session above.
    bool startLogindManager();
    // Has the mock manager emit PrepareForSleep(sleeping); false when the call failed.
    bool emitPrepareForSleep(bool sleeping) const;
    // The mock manager's lid (a property its template lacks), and a session of the caller's own
    // ("auto", as logind resolves it for the caller) with its LockedHint; each changed as logind
    // changes it, with PropertiesChanged. False when a call failed.
    bool addLid(bool closed) const;
    bool setLidClosed(bool closed) const;
    bool addOwnSession() const;
    bool setLocked(bool locked) const;

    // The real UPower daemon (Debian's upower), seeing the LEDs of the testbed that `testbed`
    // points at (UMOCKDEV_DIR, LD_PRELOAD); up once it answers for its keyboard light.
    bool startUPower(const std::map<std::string, std::string>& testbed);
    void stopUPower() { m_upower.stop(); }
    // As the desktop's power manager sets the keyboard light: SetBrightness through UPower.
    bool setKeyboardBrightness(int brightness) const;

    // What clients put in DBUS_SYSTEM_BUS_ADDRESS.
    std::string address() const { return m_bus.address(); }
    const std::string& errorText() const { return m_error; }
    // One "subsystem name value" line per SetBrightness call that reached the mock.
    std::vector<std::string> calls() const;

private:
    bool startMock(const std::vector<std::string>& arguments);

    PrivateFolder m_folder;
    PrivateBus m_bus;
    // Calls the method of UPower's keyboard light; false when the call failed.
    bool callKeyboardLight(const char* method, const char* types, int* answer, int argument) const;

    ChildProcess m_logind;
    ChildProcess m_upower;
    std::string m_error;
};
