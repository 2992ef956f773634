#include "PrivateSystemBus.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <systemd/sd-bus.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr auto kWatchdog = std::chrono::seconds(10);
constexpr auto kPoll = std::chrono::milliseconds(20);

// Whether `name` has an owner on the bus at `address`; false while the bus is not up.
bool hasOwner(const std::string& address, const char* name)
{
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0)
        return false;
    bool owned = false;
    if (sd_bus_set_address(bus, address.c_str()) >= 0 && sd_bus_set_bus_client(bus, 1) >= 0 &&
        sd_bus_start(bus) >= 0) {
        sd_bus_message* reply = nullptr;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        int has = 0;
        if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "NameHasOwner", &error, &reply, "s",
                               name) >= 0 &&
            sd_bus_message_read(reply, "b", &has) >= 0)
            owned = has != 0;
        sd_bus_error_free(&error);
        sd_bus_message_unref(reply);
    }
    sd_bus_close_unref(bus);
    return owned;
}

std::unique_ptr<QProcess> launch(const QString& program, const QStringList& arguments)
{
    auto process = std::make_unique<QProcess>();
    // The daemon complains about fd limits when run as root in a container; nothing to act on.
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start(program, arguments);
    return process->waitForStarted(5000) ? std::move(process) : nullptr;
}

void stop(std::unique_ptr<QProcess>& process)
{
    if (!process)
        return;
    process->kill();
    process->waitForFinished(5000);
    process.reset();
}

} // namespace

PrivateSystemBus::PrivateSystemBus()
{
    std::string pattern = (fs::temp_directory_path() / "beamwick-bus.XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a folder for the private bus");
    m_directory = pattern;
    m_address = "unix:path=" + (m_directory / "bus").string();
}

PrivateSystemBus::~PrivateSystemBus()
{
    stop(m_logind);
    stop(m_daemon);
    std::error_code error;
    fs::remove_all(m_directory, error);
}

bool PrivateSystemBus::start()
{
    m_daemon = launch("dbus-daemon", {"--session", "--nofork", "--nopidfile",
                                      QString::fromStdString("--address=" + m_address)});
    return m_daemon && waitForName("org.freedesktop.DBus");
}

bool PrivateSystemBus::startLogind(const std::string& behaviour)
{
    const auto parameters = R"({"log": ")" + (m_directory / "calls").string() +
                            R"(", "behaviour": ")" + behaviour + R"("})";
    return startMock({"-m", "dbusmock", "--template", LEDSERVICE_TEST_DIR "/logind_session.py",
                      "--parameters", QString::fromStdString(parameters)});
}

bool PrivateSystemBus::startLogindManager()
{
    return startMock({"-m", "dbusmock", "--system", "--template", "logind"});
}

bool PrivateSystemBus::startMock(const QStringList& arguments)
{
    // Debian's own python, which is the one that sees python3-dbusmock.
    m_logind = std::make_unique<QProcess>();
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SYSTEM_BUS_ADDRESS", QString::fromStdString(m_address));
    m_logind->setProcessEnvironment(environment);
    m_logind->setStandardOutputFile(QProcess::nullDevice());
    m_logind->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_logind->start("/usr/bin/python3", arguments);
    return m_logind->waitForStarted(5000) && waitForName("org.freedesktop.login1");
}

bool PrivateSystemBus::emitPrepareForSleep(bool sleeping) const
{
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0)
        return false;
    sd_bus_message* call = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const bool sent = sd_bus_set_address(bus, m_address.c_str()) >= 0 &&
                      sd_bus_set_bus_client(bus, 1) >= 0 && sd_bus_start(bus) >= 0 &&
                      sd_bus_message_new_method_call(
                          bus, &call, "org.freedesktop.login1", "/org/freedesktop/login1",
                          "org.freedesktop.DBus.Mock", "EmitSignal") >= 0 &&
                      sd_bus_message_append(call, "sss", "org.freedesktop.login1.Manager",
                                            "PrepareForSleep", "b") >= 0 &&
                      sd_bus_message_open_container(call, 'a', "v") >= 0 &&
                      sd_bus_message_append(call, "v", "b", sleeping ? 1 : 0) >= 0 &&
                      sd_bus_message_close_container(call) >= 0 &&
                      sd_bus_call(bus, call, 5'000'000, &error, nullptr) >= 0;
    sd_bus_error_free(&error);
    sd_bus_message_unref(call);
    sd_bus_close_unref(bus);
    return sent;
}

bool PrivateSystemBus::waitForName(const char* name) const
{
    const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
    while (std::chrono::steady_clock::now() < deadline) {
        if (hasOwner(m_address, name))
            return true;
        std::this_thread::sleep_for(kPoll);
    }
    return false;
}

std::vector<std::string> PrivateSystemBus::calls() const
{
    std::vector<std::string> lines;
    std::ifstream in(m_directory / "calls");
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}
