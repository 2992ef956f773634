#include "PrivateSoundServer.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// PipeWire makes no sink of its own before its session manager adds a stand-in a second
// later, which it drops again when a real one appears: a sink of our own is there from the
// start and stays. It suspends after a second unused, like PulseAudio's module below.
constexpr const char* kPipeWireSink = R"(context.objects = [
    { factory = adapter
        args = {
            factory.name = support.null-audio-sink
            node.name = "test_sink"
            node.description = "Test sink"
            media.class = "Audio/Sink"
            audio.rate = 48000
            audio.channels = 2
            audio.position = "FL,FR"
            monitor.channel-volumes = true
            session.suspend-timeout-seconds = 1
        }
    }
]
)";

// Waits (bounded) for a socket to be made.
bool appears(const std::string& path)
{
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!std::filesystem::exists(path))
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        else
            std::this_thread::sleep_for(10ms);
    return true;
}

std::string readAll(FILE* pipe)
{
    std::string output;
    char chunk[4096];
    while (std::size_t read = std::fread(chunk, 1, sizeof chunk, pipe))
        output.append(chunk, read);
    return output;
}

} // namespace

PrivateSoundServer::PrivateSoundServer(Options options) : m_options(options)
{
    char pattern[] = "/tmp/beamwick-sound.XXXXXX";
    if (!::mkdtemp(pattern))
        return;
    m_directory = pattern;
    const std::string run = m_directory + "/run";
    const std::string home = m_directory + "/home";
    std::filesystem::create_directories(run + "/pulse");
    std::filesystem::create_directories(home + "/.config/pipewire/pipewire.conf.d");
    // PipeWire refuses a runtime directory that others may enter.
    ::chmod(run.c_str(), 0700);
    std::ofstream(home + "/.config/pipewire/pipewire.conf.d/test-sink.conf") << kPipeWireSink;

    m_socket = m_options.kind == Kind::pipeWire ? run + "/pulse/native" : m_directory + "/native";
    m_environment = {"HOME=" + home,
                     "XDG_RUNTIME_DIR=" + run,
                     "XDG_CONFIG_HOME=" + home + "/.config",
                     "PULSE_RUNTIME_PATH=" + run + "/pulse",
                     "DBUS_SESSION_BUS_ADDRESS=unix:path=" + run + "/bus",
                     "PATH=/usr/bin:/bin"};
}

PrivateSoundServer::~PrivateSoundServer()
{
    stop();
    if (m_bus > 0) {
        ::kill(m_bus, SIGTERM);
        ::waitpid(m_bus, nullptr, 0);
    }
    std::error_code ignored;
    if (!m_directory.empty())
        std::filesystem::remove_all(m_directory, ignored);
}

bool PrivateSoundServer::available()
{
    return std::getenv("PULSE_SERVER") != nullptr;
}

PrivateSoundServer::Kind PrivateSoundServer::kindFromEnvironment()
{
    const char* chosen = std::getenv("BEAMWICK_SOUND_SERVER");
    return chosen && std::string(chosen) == "pipewire" ? Kind::pipeWire : Kind::pulseAudio;
}

const char* PrivateSoundServer::name() const
{
    return m_options.kind == Kind::pipeWire ? "PipeWire" : "PulseAudio";
}

pid_t PrivateSoundServer::spawn(const std::string& program, std::vector<std::string> args,
                                const std::string& logName)
{
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& value : m_environment)
        envp.push_back(value.data());
    envp.push_back(nullptr);
    // Made before forking: the child of a threaded process must not allocate.
    const std::string log = m_directory + "/" + logName + ".log";
    const std::string path = "/usr/bin/" + program;

    const pid_t pid = ::fork();
    if (pid == 0) {
        // A test that crashes must not leave its servers running.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        ::dup2(fd, STDOUT_FILENO);
        ::dup2(fd, STDERR_FILENO);
        ::execve(path.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    return pid;
}

bool PrivateSoundServer::start()
{
    if (m_directory.empty() || !m_pids.empty())
        return false;
    std::filesystem::remove(m_socket);
    const bool spawned = m_options.kind == Kind::pipeWire ? startPipeWire() : startPulseAudio();
    if (!spawned) {
        stop();
        return false;
    }

    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
        if (answers())
            return true;
        // One that died says why in its log; the others are not waited for.
        if (std::any_of(m_pids.begin(), m_pids.end(),
                        [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) == pid; }))
            break;
        std::this_thread::sleep_for(50ms);
    }
    stop();
    return false;
}

bool PrivateSoundServer::startPulseAudio()
{
    std::vector<std::string> args{"--daemonize=no",      "--exit-idle-time=-1",
                                  "--disallow-exit=yes", "-n",
                                  "--use-pid-file=no",   "--log-target=stderr"};
    // norewinds: without it, capture from the monitor is delayed at random by up to ~1.7 s.
    if (m_options.withSink)
        args.push_back("--load=module-null-sink sink_name=test_sink norewinds=1 rate=48000 "
                       "channels=2");
    args.push_back("--load=module-native-protocol-unix socket=" + m_socket + " auth-anonymous=1");
    const pid_t pid = spawn("pulseaudio", args, "pulseaudio");
    if (pid > 0)
        m_pids.push_back(pid);
    return pid > 0;
}

bool PrivateSoundServer::startPipeWire()
{
    const std::string run = m_directory + "/run";
    if (m_bus <= 0) {
        m_bus =
            spawn("dbus-daemon",
                  {"--session", "--nofork", "--nopidfile", "--address=unix:path=" + run + "/bus"},
                  "dbus");
        if (!appears(run + "/bus"))
            return false;
    }
    // The session manager and the PulseAudio server give up at once if the daemon is not
    // listening yet; a socket left by a killed one would say it is.
    std::filesystem::remove(run + "/pipewire-0");
    for (const char* program : {"pipewire", "wireplumber", "pipewire-pulse"}) {
        const pid_t pid = spawn(program, {}, program);
        if (pid <= 0)
            return false;
        m_pids.push_back(pid);
        if (m_pids.size() == 1 && !appears(run + "/pipewire-0"))
            return false;
    }
    return true;
}

bool PrivateSoundServer::answers() const
{
    const std::string info = pactl("info");
    if (!m_options.withSink)
        return info.find("Server Name:") != std::string::npos;
    return info.find("Default Sink: test_sink\n") != std::string::npos;
}

std::string PrivateSoundServer::pactl(const std::string& arguments) const
{
    const std::string command = "HOME='" + m_directory + "/home' PULSE_SERVER='" + address() +
                                "' pactl " + arguments + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return {};
    std::string output = readAll(pipe);
    return ::pclose(pipe) == 0 ? output : std::string();
}

std::string PrivateSoundServer::sinkState(const std::string& sink) const
{
    std::istringstream lines(pactl("list short sinks"));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string index, name, column, state;
        fields >> index >> name;
        if (name != sink)
            continue;
        while (fields >> column)
            state = column;
        return state;
    }
    return {};
}

bool PrivateSoundServer::enableSuspendOnIdle() const
{
    if (m_options.kind == Kind::pipeWire)
        return true;
    return !pactl("load-module module-suspend-on-idle timeout=1").empty();
}

std::string PrivateSoundServer::log() const
{
    std::string out;
    for (const char* name : {"pulseaudio", "dbus", "pipewire", "wireplumber", "pipewire-pulse"}) {
        std::ifstream file(m_directory + "/" + name + ".log");
        if (!file)
            continue;
        std::stringstream text;
        text << file.rdbuf();
        std::string all = text.str();
        if (all.size() > 2000)
            all = "…" + all.substr(all.size() - 2000);
        out += "--- " + std::string(name) + ".log\n" + all;
    }
    return out;
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
    // Last started first: the PulseAudio server before the PipeWire daemon it talks to.
    for (auto pid = m_pids.rbegin(); pid != m_pids.rend(); ++pid) {
        ::kill(*pid, signal);
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (::waitpid(*pid, nullptr, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(*pid, SIGKILL);
                ::waitpid(*pid, nullptr, 0);
                break;
            }
            std::this_thread::sleep_for(10ms);
        }
    }
    m_pids.clear();
}
