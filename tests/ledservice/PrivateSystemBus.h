#pragma once

#include <QProcess>
#include <QStringList>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// A dbus-daemon of the test's own, standing in for the system bus, optionally with a mock
// logind session on it (python3-dbusmock and logind_session.py). Both processes are stopped by
// their own handles when this goes.
class PrivateSystemBus {
public:
    PrivateSystemBus();
    ~PrivateSystemBus();
    PrivateSystemBus(const PrivateSystemBus&) = delete;
    PrivateSystemBus& operator=(const PrivateSystemBus&) = delete;

    // False when the daemon did not come up within its watchdog.
    bool start();
    // `behaviour`: "accept", "refuse" or "stall"; see logind_session.py.
    bool startLogind(const std::string& behaviour);
    // dbusmock's logind manager (its "logind" template) instead of the session above.
    bool startLogindManager();
    // Has the mock manager emit PrepareForSleep(sleeping); false when the call failed.
    bool emitPrepareForSleep(bool sleeping) const;

    const std::string& address() const { return m_address; }
    // One "subsystem name value" line per SetBrightness call that reached the mock.
    std::vector<std::string> calls() const;

private:
    bool waitForName(const char* name) const;

    std::filesystem::path m_directory;
    std::string m_address;
    bool startMock(const QStringList& arguments);

    std::unique_ptr<QProcess> m_daemon;
    std::unique_ptr<QProcess> m_logind;
};
