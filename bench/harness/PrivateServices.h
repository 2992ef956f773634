#pragma once

#include "ChildProcess.h"

#include <string>
#include <vector>

// A sound server with the PulseAudio protocol and a D-Bus session bus, both private to one
// benchmark run: their own directory, sockets and home, stopped by process id. Either a
// PulseAudio daemon whose only (so default) sink is the null sink "test_sink", or PipeWire with
// its PulseAudio server and session manager, whose default sink is its dummy "auto_null". The
// servers' process ids are known, so their own CPU can be measured.
class PrivateServices {
public:
    enum class Server { PulseAudio, PipeWire };

    explicit PrivateServices(Server server = Server::PulseAudio);
    // Stops everything and removes the directory.
    ~PrivateServices();
    PrivateServices(const PrivateServices&) = delete;
    PrivateServices& operator=(const PrivateServices&) = delete;

    // Starts all and waits (bounded) until the sound server answers with a default sink; false
    // with errorText (the end of the failing server's log included) if not.
    bool start();

    Server server() const { return m_server; }
    const char* serverName() const;
    const std::string& directory() const { return m_directory; }
    std::string pulseServer() const { return "unix:" + socketPath(); }
    std::string busAddress() const { return "unix:path=" + m_directory + "/bus"; }
    std::string sinkName() const;
    // The processes that do the sound server's work: the daemon, or PipeWire's graph and its
    // PulseAudio server (the session manager only sets policy).
    std::vector<pid_t> serverPids() const;
    const std::string& errorText() const { return m_error; }

    // The default sink named by `pactl info` output; empty when there is none yet.
    static std::string defaultSink(const std::string& pactlInfo);
    // The last lines of a log file, for an error text that outlives the run's directory.
    static std::string tail(const std::string& path, std::size_t lines = 8);

private:
    std::string socketPath() const;
    bool startPulseAudio();
    bool startPipeWire();
    bool waitForDefaultSink(ChildProcess& server, const std::string& log);

    Server m_server;
    std::string m_directory;
    ChildProcess m_bus;
    // The daemon alone, or pipewire, wireplumber and pipewire-pulse; stopped in reverse.
    std::vector<ChildProcess> m_servers;
    std::string m_error;
};

// Whether a Unix socket at the path accepts a connection now.
bool socketAccepts(const std::string& path);
