#include "PrivateSystemBus.h"

#include <fstream>
#include <systemd/sd-bus.h>
#include <unistd.h>

using namespace std::chrono_literals;

PrivateSystemBus::PrivateSystemBus() : m_folder("beamwick-bus"), m_bus(m_folder.path()) {}

PrivateSystemBus::~PrivateSystemBus()
{
    // The daemons first: they would otherwise complain about the bus going away under them.
    m_upower.stop();
    m_logind.stop();
    m_bus.stop();
}

bool PrivateSystemBus::start()
{
    if (m_folder.path().empty()) {
        m_error = "cannot make a folder for the private bus";
        return false;
    }
    if (!m_bus.start()) {
        m_error = m_bus.errorText();
        return false;
    }
    return true;
}

bool PrivateSystemBus::startLogind(const std::string& behaviour)
{
    const auto parameters =
        R"({"log": ")" + (m_folder / "calls") + R"(", "behaviour": ")" + behaviour + R"("})";
    return startMock({"-m", "dbusmock", "--template", BEAMWICK_LOGIND_SESSION_TEMPLATE,
                      "--parameters", parameters});
}

bool PrivateSystemBus::startLogindManager()
{
    return startMock({"-m", "dbusmock", "--system", "--template", "logind"});
}

bool PrivateSystemBus::startMock(const std::vector<std::string>& arguments)
{
    // Debian's own python, which is the one that sees python3-dbusmock.
    const ChildProcess::Launch mock{"/usr/bin/python3",
                                    arguments,
                                    {{"DBUS_SYSTEM_BUS_ADDRESS", address()}},
                                    m_folder / "logind.log"};
    const bool up = m_logind.start(mock) &&
                    m_logind.waitUntil([this] { return m_bus.hasOwner("org.freedesktop.login1"); },
                                       10s, "the mock logind");
    if (!up)
        m_error = m_logind.errorText();
    return up;
}

bool PrivateSystemBus::emitPrepareForSleep(bool sleeping) const
{
    return m_bus.call([&](sd_bus* bus, sd_bus_message** reply, sd_bus_error* error) {
        sd_bus_message* signal = nullptr;
        const bool sent = sd_bus_message_new_method_call(
                              bus, &signal, "org.freedesktop.login1", "/org/freedesktop/login1",
                              "org.freedesktop.DBus.Mock", "EmitSignal") >= 0 &&
                          sd_bus_message_append(signal, "sss", "org.freedesktop.login1.Manager",
                                                "PrepareForSleep", "b") >= 0 &&
                          sd_bus_message_open_container(signal, 'a', "v") >= 0 &&
                          sd_bus_message_append(signal, "v", "b", sleeping ? 1 : 0) >= 0 &&
                          sd_bus_message_close_container(signal) >= 0 &&
                          sd_bus_call(bus, signal, 5'000'000, error, reply) >= 0;
        sd_bus_message_unref(signal);
        return sent;
    });
}

namespace {

constexpr const char* kManager = "/org/freedesktop/login1";
constexpr const char* kManagerInterface = "org.freedesktop.login1.Manager";
constexpr const char* kSession = "/org/freedesktop/login1/session/auto";
constexpr const char* kSessionInterface = "org.freedesktop.login1.Session";

// One boolean property of a mock object: added (AddProperty) or changed (UpdateProperties).
bool mockFlag(const PrivateBus& on, const char* path, const char* interface, const char* name,
              bool value, bool add)
{
    return on.call([&](sd_bus* bus, sd_bus_message** reply, sd_bus_error* error) {
        sd_bus_message* call = nullptr;
        bool sent = sd_bus_message_new_method_call(bus, &call, "org.freedesktop.login1", path,
                                                   "org.freedesktop.DBus.Mock",
                                                   add ? "AddProperty" : "UpdateProperties") >= 0;
        if (add)
            sent = sent && sd_bus_message_append(call, "ssv", interface, name, "b", int(value)) >= 0;
        else
            sent = sent && sd_bus_message_append(call, "sa{sv}", interface, 1, name, "b",
                                                 int(value)) >= 0;
        sent = sent && sd_bus_call(bus, call, 5'000'000, error, reply) >= 0;
        sd_bus_message_unref(call);
        return sent;
    });
}

} // namespace

bool PrivateSystemBus::addLid(bool closed) const
{
    return mockFlag(m_bus, kManager, kManagerInterface, "LidClosed", closed, true);
}

bool PrivateSystemBus::setLidClosed(bool closed) const
{
    return mockFlag(m_bus, kManager, kManagerInterface, "LidClosed", closed, false);
}

bool PrivateSystemBus::addOwnSession() const
{
    return m_bus.call([&](sd_bus* bus, sd_bus_message** reply, sd_bus_error* error) {
        return sd_bus_call_method(bus, "org.freedesktop.login1", kManager,
                                  "org.freedesktop.DBus.Mock", "AddSession", error, reply, "ssusb",
                                  "auto", "seat0", 1000u, "user", 1) >= 0;
    });
}

bool PrivateSystemBus::setLocked(bool locked) const
{
    return mockFlag(m_bus, kSession, kSessionInterface, "LockedHint", locked, false);
}

std::vector<std::string> PrivateSystemBus::calls() const
{
    std::vector<std::string> lines;
    std::ifstream in(m_folder / "calls");
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool PrivateSystemBus::startUPower(const std::map<std::string, std::string>& testbed)
{
    const std::string program = "/usr/libexec/upowerd";
    if (::access(program.c_str(), X_OK) != 0) {
        m_error = program + " is missing: apt-get install upower";
        return false;
    }
    auto environment = testbed;
    environment["DBUS_SYSTEM_BUS_ADDRESS"] = address();
    // UPower writes the LED as sysfs takes it, which the testbed's files must then do too.
    auto& preload = environment["LD_PRELOAD"];
    preload = BEAMWICK_SYSFS_WRITE_SHIM + (preload.empty() ? "" : ":" + preload);
    int max = 0;
    const bool up =
        m_upower.start({program, {}, environment, m_folder / "upower.log"}) &&
        m_upower.waitUntil([&] { return callKeyboardLight("GetMaxBrightness", "", &max, 0); }, 10s,
                           "UPower's keyboard light");
    if (!up)
        m_error = m_upower.errorText();
    return up;
}

bool PrivateSystemBus::setKeyboardBrightness(int brightness) const
{
    return callKeyboardLight("SetBrightness", "i", nullptr, brightness);
}

bool PrivateSystemBus::callKeyboardLight(const char* method, const char* types, int* answer,
                                         int argument) const
{
    return m_bus.call([&](sd_bus* bus, sd_bus_message** reply, sd_bus_error* error) {
        return sd_bus_call_method(bus, "org.freedesktop.UPower",
                                  "/org/freedesktop/UPower/KbdBacklight",
                                  "org.freedesktop.UPower.KbdBacklight", method, error, reply,
                                  types, argument) >= 0 &&
               (!answer || sd_bus_message_read(*reply, "i", answer) >= 0);
    });
}
