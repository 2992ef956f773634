#include "PrivateSoundServer.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

bool accepts(const std::string& socketPath)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof(address.sun_path) - 1);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return ok;
}

} // namespace

PrivateSoundServer::PrivateSoundServer()
{
    char pattern[] = "/tmp/beamwick-sound.XXXXXX";
    if (::mkdtemp(pattern))
        m_directory = pattern;
    std::filesystem::create_directories(m_directory + "/run/pulse");
    std::filesystem::create_directories(m_directory + "/home");
    m_socket = m_directory + "/native";
}

PrivateSoundServer::~PrivateSoundServer()
{
    stop();
    std::error_code ignored;
    if (!m_directory.empty())
        std::filesystem::remove_all(m_directory, ignored);
}

bool PrivateSoundServer::available()
{
    return std::getenv("PULSE_SERVER") != nullptr;
}

bool PrivateSoundServer::start()
{
    if (m_directory.empty())
        return false;
    const std::string home = "HOME=" + m_directory + "/home";
    const std::string runtime = "XDG_RUNTIME_DIR=" + m_directory + "/run";
    const std::string pulseRuntime = "PULSE_RUNTIME_PATH=" + m_directory + "/run/pulse";
    const std::string log = "--log-target=file:" + m_directory + "/pulse.log";
    // norewinds: without it, capture from the monitor is delayed at random by up to ~1.7 s.
    const std::string sink =
        "--load=module-null-sink sink_name=test_sink norewinds=1 rate=48000 channels=2";
    const std::string protocol =
        "--load=module-native-protocol-unix socket=" + m_socket + " auth-anonymous=1";

    std::vector<std::string> args{"pulseaudio",
                                  "--daemonize=no",
                                  "--exit-idle-time=-1",
                                  "--disallow-exit=yes",
                                  "-n",
                                  "--use-pid-file=no",
                                  log,
                                  sink,
                                  protocol};
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    std::vector<std::string> env{home, runtime, pulseRuntime, "PATH=/usr/bin:/bin"};
    std::vector<char*> envp;
    for (auto& value : env)
        envp.push_back(value.data());
    envp.push_back(nullptr);

    std::filesystem::remove(m_socket);
    m_pid = ::fork();
    if (m_pid == 0) {
        ::execve("/usr/bin/pulseaudio", argv.data(), envp.data());
        ::_exit(127);
    }
    if (m_pid < 0)
        return false;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (accepts(m_socket))
            return true;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    stop();
    return false;
}

void PrivateSoundServer::kill()
{
    reap(SIGKILL);
}

void PrivateSoundServer::stop()
{
    reap(SIGTERM);
}

void PrivateSoundServer::reap(int signal)
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, signal);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (::waitpid(m_pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_pid = -1;
}
