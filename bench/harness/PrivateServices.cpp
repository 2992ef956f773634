#include "PrivateServices.h"

#include <cstring>
#include <filesystem>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

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
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (socketAccepts(path))
            return true;
        if (!owner.running())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

} // namespace

PrivateServices::PrivateServices()
{
    char pattern[] = "/tmp/beamwick-perf.XXXXXX";
    if (::mkdtemp(pattern))
        m_directory = pattern;
}

PrivateServices::~PrivateServices()
{
    m_pulse.stop();
    m_bus.stop();
    std::error_code ignored;
    if (!m_directory.empty())
        fs::remove_all(m_directory, ignored);
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
    // Clients refuse a runtime directory that others may enter.
    fs::permissions(m_directory + "/run", fs::perms::owner_all, error);

    ChildProcess::Launch bus{"/usr/bin/dbus-daemon",
                             {"--session", "--nofork", "--nopidfile", "--address=" + busAddress()},
                             {},
                             m_directory + "/bus.log"};
    if (!m_bus.start(bus) || !waitForSocket(m_directory + "/bus", m_bus)) {
        m_error = "the private D-Bus session bus did not start (see " + m_directory + "/bus.log)";
        return false;
    }

    ChildProcess::Launch pulse{
        "/usr/bin/pulseaudio",
        {"--daemonize=no", "--exit-idle-time=-1", "--disallow-exit=yes", "-n", "--use-pid-file=no",
         "--log-target=file:" + m_directory + "/pulse.log",
         // norewinds: without it, capture from the monitor is delayed at random by up to ~1.7 s.
         "--load=module-null-sink sink_name=test_sink norewinds=1 rate=48000 channels=2",
         "--load=module-native-protocol-unix socket=" + m_directory + "/native auth-anonymous=1"},
        {{"HOME", m_directory + "/home"},
         {"XDG_RUNTIME_DIR", m_directory + "/run"},
         {"PULSE_RUNTIME_PATH", m_directory + "/run/pulse"},
         {"PULSE_SERVER", ""}},
        m_directory + "/pulse.out"};
    if (!m_pulse.start(pulse) || !waitForSocket(m_directory + "/native", m_pulse)) {
        m_error = "the private PulseAudio daemon did not start (see " + m_directory + "/pulse.log)";
        return false;
    }
    return true;
}
