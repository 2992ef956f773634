#include "PrivateServices.h"

#include "WriteLog.h"

#include <cstring>
#include <filesystem>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool socketAccepts(const std::string& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return ok;
}

namespace {

bool waitForSocket(const std::string& path, ChildProcess& owner)
{
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
        if (socketAccepts(path))
            return true;
        if (!owner.running())
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

} // namespace

PrivateServices::PrivateServices(Server server) : m_server(server)
{
    char pattern[] = "/tmp/beamwick-perf.XXXXXX";
    if (::mkdtemp(pattern))
        m_directory = pattern;
}

PrivateServices::~PrivateServices()
{
    for (auto it = m_servers.rbegin(); it != m_servers.rend(); ++it)
        it->stop();
    m_bus.stop();
    std::error_code ignored;
    if (!m_directory.empty())
        fs::remove_all(m_directory, ignored);
}

const char* PrivateServices::serverName() const
{
    return m_server == Server::PipeWire ? "PipeWire" : "PulseAudio";
}

std::string PrivateServices::sinkName() const
{
    return m_server == Server::PipeWire ? "auto_null" : "test_sink";
}

std::string PrivateServices::socketPath() const
{
    return m_server == Server::PipeWire ? m_directory + "/run/pulse/native"
                                        : m_directory + "/native";
}

std::vector<pid_t> PrivateServices::serverPids() const
{
    std::vector<pid_t> pids;
    for (const auto& server : m_servers)
        pids.push_back(server.pid());
    // wireplumber, started second, is policy only.
    if (m_server == Server::PipeWire && pids.size() == 3)
        pids.erase(pids.begin() + 1);
    return pids;
}

std::string PrivateServices::defaultSink(const std::string& pactlInfo)
{
    std::istringstream lines(pactlInfo);
    std::string line;
    const std::string key = "Default Sink: ";
    while (std::getline(lines, line))
        if (line.rfind(key, 0) == 0) {
            const std::string name = line.substr(key.size());
            // pactl's placeholder while the server has chosen none.
            return name.empty() || name[0] == '@' ? std::string() : name;
        }
    return {};
}

std::string PrivateServices::tail(const std::string& path, std::size_t lines)
{
    const std::string text = WriteLog::readAll(path);
    std::size_t end = text.size();
    if (end > 0 && text[end - 1] == '\n')
        --end;
    std::size_t at = end;
    for (std::size_t seen = 0; at > 0; --at)
        if (text[at - 1] == '\n' && ++seen == lines)
            break;
    return text.substr(at, end - at);
}

bool PrivateServices::start()
{
    if (m_directory.empty()) {
        m_error = "cannot create a temporary directory";
        return false;
    }
    std::error_code error;
    fs::create_directories(m_directory + "/run/pulse", error);
    fs::create_directories(m_directory + "/home", error);
    // Clients and PipeWire refuse a runtime directory that others may enter.
    fs::permissions(m_directory, fs::perms::owner_all, error);
    fs::permissions(m_directory + "/run", fs::perms::owner_all, error);

    ChildProcess::Launch bus{"/usr/bin/dbus-daemon",
                             {"--session", "--nofork", "--nopidfile", "--address=" + busAddress()},
                             {},
                             m_directory + "/bus.log"};
    if (!m_bus.start(bus) || !waitForSocket(m_directory + "/bus", m_bus)) {
        m_error = "the private D-Bus session bus did not start: " + tail(m_directory + "/bus.log");
        return false;
    }
    return m_server == Server::PipeWire ? startPipeWire() : startPulseAudio();
}

bool PrivateServices::startPulseAudio()
{
    ChildProcess::Launch pulse{
        "/usr/bin/pulseaudio",
        {"--daemonize=no", "--exit-idle-time=-1", "--disallow-exit=yes", "-n", "--use-pid-file=no",
         "--log-target=file:" + m_directory + "/pulse.log",
         // norewinds: without it, capture from the monitor is delayed at random by up to ~1.7 s.
         "--load=module-null-sink sink_name=test_sink norewinds=1 rate=48000 channels=2",
         "--load=module-native-protocol-unix socket=" + socketPath() + " auth-anonymous=1"},
        {{"HOME", m_directory + "/home"},
         {"XDG_RUNTIME_DIR", m_directory + "/run"},
         {"PULSE_RUNTIME_PATH", m_directory + "/run/pulse"},
         // Its own bus: on a shared one, another test's server already holds PulseAudio's name.
         {"DBUS_SESSION_BUS_ADDRESS", busAddress()},
         {"PULSE_SERVER", ""}},
        m_directory + "/pulse.out"};
    m_servers.emplace_back();
    if (!m_servers.back().start(pulse)) {
        m_error = "cannot start pulseaudio: " + m_servers.back().errorText();
        return false;
    }
    return waitForDefaultSink(m_servers.back(), m_directory + "/pulse.log");
}

bool PrivateServices::startPipeWire()
{
    const std::map<std::string, std::string> environment{
        {"HOME", m_directory + "/home"},
        {"XDG_RUNTIME_DIR", m_directory + "/run"},
        {"DBUS_SESSION_BUS_ADDRESS", busAddress()},
        {"PULSE_SERVER", ""},
        // Where pipewire-pulse puts its socket.
        {"PULSE_RUNTIME_PATH", m_directory + "/run/pulse"},
        {"PIPEWIRE_REMOTE", ""},
        {"PIPEWIRE_RUNTIME_DIR", ""}};
    for (const char* program : {"pipewire", "wireplumber", "pipewire-pulse"}) {
        const std::string log = m_directory + "/" + program + ".log";
        m_servers.emplace_back();
        if (!m_servers.back().start({std::string("/usr/bin/") + program, {}, environment, log})) {
            m_error = std::string("cannot start ") + program + ": " + m_servers.back().errorText();
            return false;
        }
        // The graph must be up before its clients connect, or they give up.
        if (m_servers.size() == 1 &&
            !waitForSocket(m_directory + "/run/pipewire-0", m_servers.back())) {
            m_error = "PipeWire did not start: " + tail(log);
            return false;
        }
    }
    return waitForDefaultSink(m_servers.back(), m_directory + "/pipewire-pulse.log");
}

bool PrivateServices::waitForDefaultSink(ChildProcess& server, const std::string& log)
{
    const std::string what = std::string("the private ") + serverName() + " server";
    if (!waitForSocket(socketPath(), server)) {
        m_error = what + " did not accept clients: " + tail(log);
        return false;
    }
    // The socket answers before the session manager has made the sink the default one.
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    const std::string info = m_directory + "/pactl-info.out";
    std::string sink;
    while (std::chrono::steady_clock::now() < deadline) {
        std::error_code ignored;
        fs::remove(info, ignored);
        ChildProcess pactl;
        if (pactl.start({"/usr/bin/pactl", {"info"}, {{"PULSE_SERVER", pulseServer()}}, info}) &&
            pactl.wait(5s) == 0) {
            sink = defaultSink(WriteLog::readAll(info));
            if (sink == sinkName())
                return true;
        }
        for (auto& each : m_servers)
            if (!each.running()) {
                m_error = what + " ended while starting: " + tail(log);
                return false;
            }
        std::this_thread::sleep_for(100ms);
    }
    m_error =
        what + " has no default sink " + sinkName() + " (it names \"" + sink + "\"): " + tail(log);
    return false;
}
