#pragma once

#include "ChildProcess.h"
#include "PrivateBus.h"
#include "PrivateFolder.h"

#include <string>
#include <sys/types.h>
#include <vector>

// A sound server with the PulseAudio protocol private to one test or benchmark run: its own
// folder, home, sockets and session bus, and a null sink "test_sink" as its only (so default)
// sink unless told otherwise. Either a PulseAudio daemon or PipeWire with its PulseAudio server and
// session manager (BEAMWICK_SOUND_SERVER=pipewire), which most desktops run; clients see the same
// protocol. Its processes are stopped by their process ids; it can be killed outright and started
// again on the same socket, and their ids are known so their own CPU can be measured.
class PrivateSoundServer {
public:
    enum class Kind { pulseAudio, pipeWire };

    struct Options {
        Kind kind = kindFromEnvironment();
        // PipeWire only: play into the stand-in its session manager makes ("auto_null"), as on
        // a machine without sound hardware, instead of a sink of our own. The benchmark's
        // PipeWire figures are measured against that one.
        bool standInSink = false;
    };

    PrivateSoundServer() : PrivateSoundServer(Options{}) {}
    explicit PrivateSoundServer(Options options);
    // Stops everything and removes the folder.
    ~PrivateSoundServer();
    PrivateSoundServer(const PrivateSoundServer&) = delete;
    PrivateSoundServer& operator=(const PrivateSoundServer&) = delete;

    // Starts the server (and, the first time, its bus) and waits (bounded) until it answers
    // clients and names its sink as the default; false if it never does, with
    // errorText carrying the end of the failing process's log, or naming the packages to
    // install when its programs are missing.
    bool start();
    // SIGKILL: the server vanishes without a goodbye, as when it crashes. The bus stays.
    void kill();
    // SIGTERM, then SIGKILL if it lingers. The bus stays.
    void stop();

    // The address clients pass as the server (PULSE_SERVER), e.g. "unix:/tmp/…/native".
    std::string address() const { return "unix:" + m_socket; }
    // The session bus the server's processes meet on, for clients that want it too.
    std::string busAddress() const { return m_bus.address(); }
    const std::string& directory() const { return m_folder.path(); }
    Kind kind() const { return m_options.kind; }
    const char* name() const;
    std::string sinkName() const;
    // The processes that do the server's work: the daemon, or PipeWire's graph and its
    // PulseAudio server (the session manager only sets policy).
    std::vector<pid_t> serverPids() const;
    const std::string& errorText() const { return m_error; }
    // The end of every log the server's processes wrote, for failure messages.
    std::string log() const;

    // Runs pactl against this server with space-separated arguments and returns what it
    // printed (empty if it failed).
    std::string pactl(const std::string& arguments) const;
    // The state column of `pactl list short sinks` for the sink: "RUNNING", "IDLE",
    // "SUSPENDED", or empty if there is no such sink.
    std::string sinkState(const std::string& sink = "test_sink") const;
    // Lets an unused sink suspend after about a second. PipeWire's sink is made that way; a
    // PulseAudio daemon needs a module for it.
    bool enableSuspendOnIdle() const;

    // Empty when every program a server of this kind needs is installed; else which are not,
    // with the Debian packages that provide them.
    static std::string missingPrograms(Kind kind);
    static Kind kindFromEnvironment();
    // The default sink named by `pactl info` output; empty when there is none yet.
    static std::string defaultSink(const std::string& pactlInfo);

private:
    bool launch(const std::string& program, std::vector<std::string> arguments);
    bool startPulseAudio();
    bool startPipeWire();
    bool answers() const;
    bool fail(const std::string& what);

    Options m_options;
    PrivateFolder m_folder;
    std::string m_socket;
    // Outlives kill() and start(): clients of a restarted server find the same bus.
    PrivateBus m_bus;
    // The sound processes, in the order they were started; stopped in reverse.
    std::vector<ChildProcess> m_processes;
    std::string m_error;
};
