#pragma once

#include "ChildProcess.h"
#include "PrivateBus.h"
#include "PrivateFolder.h"

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

    // What clients put in DBUS_SYSTEM_BUS_ADDRESS.
    std::string address() const { return m_bus.address(); }
    const std::string& errorText() const { return m_error; }
    // One "subsystem name value" line per SetBrightness call that reached the mock.
    std::vector<std::string> calls() const;

private:
    bool startMock(const std::vector<std::string>& arguments);

    PrivateFolder m_folder;
    PrivateBus m_bus;
    ChildProcess m_logind;
    std::string m_error;
};
