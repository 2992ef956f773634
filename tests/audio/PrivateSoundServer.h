#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// A sound server private to one test: its own runtime directory, home and socket, and a null
// sink "test_sink" as its only (so default) sink. Either a PulseAudio daemon or PipeWire with
// its PulseAudio server and session manager (BEAMWICK_SOUND_SERVER=pipewire), which most
// desktops run; clients see the same protocol. Started as child processes and stopped by their
// process ids; it can be killed outright and started again on the same socket.
class PrivateSoundServer {
public:
    enum class Kind { pulseAudio, pipeWire };

    struct Options {
        Kind kind = kindFromEnvironment();
        // Without it the server has no sink at all, so no default sink either (PulseAudio only).
        bool withSink = true;
    };

    PrivateSoundServer() : PrivateSoundServer(Options{}) {}
    explicit PrivateSoundServer(Options options);
    ~PrivateSoundServer();

    PrivateSoundServer(const PrivateSoundServer&) = delete;
    PrivateSoundServer& operator=(const PrivateSoundServer&) = delete;

    // Starts the server and waits (bounded) until it answers clients and, with a sink, names
    // its default sink; false if it never does (log() then says why).
    bool start();
    // SIGKILL: the server vanishes without a goodbye, as when it crashes.
    void kill();
    // SIGTERM, then SIGKILL if it lingers.
    void stop();

    // The address clients pass as the server, e.g. "unix:/tmp/…/native".
    std::string address() const { return "unix:" + m_socket; }
    const std::string& directory() const { return m_directory; }
    Kind kind() const { return m_options.kind; }
    const char* name() const;
    // The end of every log the server's processes wrote, for failure messages.
    std::string log() const;

    // Runs pactl against this server and returns what it printed (empty if it failed).
    std::string pactl(const std::string& arguments) const;
    // The state column of `pactl list short sinks` for the sink: "RUNNING", "IDLE",
    // "SUSPENDED", or empty if there is no such sink.
    std::string sinkState(const std::string& sink = "test_sink") const;
    // Lets an unused sink suspend after about a second. PipeWire's sink is made that way; a
    // PulseAudio daemon needs a module for it.
    bool enableSuspendOnIdle() const;

    // Whether the test environment offers a sound server to test against.
    static bool available();
    static Kind kindFromEnvironment();

private:
    pid_t spawn(const std::string& program, std::vector<std::string> args,
                const std::string& logName);
    bool startPulseAudio();
    bool startPipeWire();
    bool answers() const;
    void reap(int signal);

    Options m_options;
    std::string m_directory;
    std::string m_socket;
    std::vector<std::string> m_environment;
    // The session bus PipeWire's processes meet on; it outlives kill() and start().
    pid_t m_bus = -1;
    // The sound processes, in the order they were started.
    std::vector<pid_t> m_pids;
};
