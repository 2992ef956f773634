#include "PrivateSoundServer.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

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

const char* const kLogs[] = {"bus", "pulseaudio", "pipewire", "wireplumber", "pipewire-pulse"};

// Whether a Unix socket at the path accepts a connection now: a socket file alone may be one
// a killed server left behind.
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

} // namespace

PrivateSoundServer::PrivateSoundServer(Options options)
    : m_options(options), m_folder("beamwick-sound"), m_bus(m_folder.path())
{
    if (directory().empty())
        return;
    std::error_code ignored;
    fs::create_directories(m_folder / "run/pulse", ignored);
    fs::create_directories(m_folder / "home/.config/pipewire/pipewire.conf.d", ignored);
    // PipeWire and the PulseAudio clients refuse a runtime directory that others may enter.
    fs::permissions(m_folder / "run", fs::perms::owner_all, ignored);
    if (!m_options.standInSink)
        std::ofstream(m_folder / "home/.config/pipewire/pipewire.conf.d/test-sink.conf")
            << kPipeWireSink;
    m_socket =
        m_options.kind == Kind::pipeWire ? m_folder / "run/pulse/native" : m_folder / "native";
}

PrivateSoundServer::~PrivateSoundServer()
{
    stop();
    m_bus.stop();
}

std::string PrivateSoundServer::missingPrograms(Kind kind)
{
    std::vector<std::pair<const char*, const char*>> needed{{"dbus-daemon", "dbus"},
                                                            {"pactl", "pulseaudio-utils"}};
    if (kind == Kind::pipeWire)
        needed.insert(needed.end(), {{"pipewire", "pipewire"},
                                     {"wireplumber", "wireplumber"},
                                     {"pipewire-pulse", "pipewire-pulse"}});
    else
        needed.push_back({"pulseaudio", "pulseaudio"});
    std::string missing;
    for (const auto& [program, package] : needed)
        if (::access(("/usr/bin/" + std::string(program)).c_str(), X_OK) != 0)
            missing += std::string(missing.empty() ? "" : "; ") + "/usr/bin/" + program +
                       " is not installed (Debian package " + package + ")";
    return missing.empty() ? missing
                           : missing + "; scripts/install-deps.sh installs what the tests need";
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

std::string PrivateSoundServer::sinkName() const
{
    return m_options.kind == Kind::pipeWire && m_options.standInSink ? "auto_null" : "test_sink";
}

std::vector<pid_t> PrivateSoundServer::serverPids() const
{
    std::vector<pid_t> pids;
    for (std::size_t i = 0; i < m_processes.size(); ++i)
        // wireplumber, started second, is policy only.
        if (m_options.kind != Kind::pipeWire || i != 1)
            pids.push_back(m_processes[i].pid());
    return pids;
}

bool PrivateSoundServer::fail(const std::string& what)
{
    m_error = what;
    stop();
    return false;
}

bool PrivateSoundServer::start()
{
    m_error.clear();
    if (directory().empty())
        return fail("cannot make a folder for the sound server");
    if (!m_processes.empty())
        return fail("the sound server is already running");
    if (const std::string missing = missingPrograms(m_options.kind); !missing.empty())
        return fail(std::string("cannot start the private ") + name() + " server: " + missing);
    if (!m_bus.running() && !m_bus.start())
        return fail(m_bus.errorText());
    // A socket left by a killed server would look like one that listens.
    std::error_code ignored;
    fs::remove(m_socket, ignored);
    if (!(m_options.kind == Kind::pipeWire ? startPipeWire() : startPulseAudio()))
        return false;
    const std::string what = std::string("the private ") + name() + " server";
    // The socket answers before the session manager has made the sink the default one.
    if (!m_processes.back().waitUntil([this] { return answers(); }, 15s, what))
        return fail(m_processes.back().errorText());
    return true;
}

bool PrivateSoundServer::launch(const std::string& program, std::vector<std::string> arguments)
{
    const ChildProcess::Launch daemon{"/usr/bin/" + program,
                                      std::move(arguments),
                                      {{"HOME", m_folder / "home"},
                                       {"XDG_RUNTIME_DIR", m_folder / "run"},
                                       {"XDG_CONFIG_HOME", m_folder / "home/.config"},
                                       {"PULSE_RUNTIME_PATH", m_folder / "run/pulse"},
                                       // Its own bus: on a shared one, another test's server
                                       // already holds the sound server's names.
                                       {"DBUS_SESSION_BUS_ADDRESS", m_bus.address()},
                                       {"PATH", "/usr/bin:/bin"}},
                                      m_folder / (program + ".log"),
                                      false};
    m_processes.emplace_back();
    if (!m_processes.back().start(daemon))
        return fail("cannot start " + program + ": " + m_processes.back().errorText());
    return true;
}

bool PrivateSoundServer::startPulseAudio()
{
    std::vector<std::string> args{"--daemonize=no",      "--exit-idle-time=-1",
                                  "--disallow-exit=yes", "-n",
                                  "--use-pid-file=no",   "--log-target=stderr"};
    // norewinds: without it, capture from the monitor is delayed at random by up to ~1.7 s.
    args.push_back("--load=module-null-sink sink_name=test_sink norewinds=1 rate=48000 "
                   "channels=2");
    args.push_back("--load=module-native-protocol-unix socket=" + m_socket + " auth-anonymous=1");
    return launch("pulseaudio", std::move(args));
}

bool PrivateSoundServer::startPipeWire()
{
    // The session manager and the PulseAudio server give up at once if the graph is not
    // listening yet; a socket left by a killed one would say it is.
    const std::string graph = m_folder / "run/pipewire-0";
    std::error_code ignored;
    fs::remove(graph, ignored);
    if (!launch("pipewire", {}))
        return false;
    if (!m_processes.back().waitUntil([&] { return socketAccepts(graph); }, 10s, "PipeWire"))
        return fail(m_processes.back().errorText());
    return launch("wireplumber", {}) && launch("pipewire-pulse", {});
}

bool PrivateSoundServer::answers() const
{
    return defaultSink(pactl("info")) == sinkName();
}

std::string PrivateSoundServer::defaultSink(const std::string& pactlInfo)
{
    std::istringstream lines(pactlInfo);
    const std::string key = "Default Sink: ";
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(key, 0) == 0) {
            const std::string name = line.substr(key.size());
            // pactl's placeholder while the server has chosen none.
            return name.empty() || name[0] == '@' ? std::string() : name;
        }
    return {};
}

std::string PrivateSoundServer::pactl(const std::string& arguments) const
{
    std::vector<std::string> words;
    std::istringstream split(arguments);
    for (std::string word; split >> word;)
        words.push_back(word);
    const std::string output = m_folder / "pactl.out";
    std::error_code ignored;
    fs::remove(output, ignored);
    ChildProcess pactl;
    if (!pactl.start({"/usr/bin/pactl",
                      words,
                      {{"HOME", m_folder / "home"}, {"PULSE_SERVER", address()}},
                      output}) ||
        pactl.wait(10s) != 0)
        return {};
    std::ifstream in(output);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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
    for (const char* name : kLogs) {
        const std::string path = m_folder / (std::string(name) + ".log");
        if (fs::exists(path))
            out += "--- " + std::string(name) + ".log\n" + ChildProcess::tail(path, 20) + "\n";
    }
    return out;
}

void PrivateSoundServer::kill()
{
    // Last started first: the PulseAudio server before the PipeWire graph it talks to.
    for (auto process = m_processes.rbegin(); process != m_processes.rend(); ++process)
        process->kill();
    m_processes.clear();
}

void PrivateSoundServer::stop()
{
    for (auto process = m_processes.rbegin(); process != m_processes.rend(); ++process)
        process->stop();
    m_processes.clear();
}
