#pragma once

#include <string>
#include <sys/types.h>

// A PulseAudio daemon private to one test: its own runtime directory, home and socket, a null
// sink "test_sink" as its only (so default) sink. Started as a child process and stopped by its
// process id; it can be killed outright and started again on the same socket.
class PrivateSoundServer {
public:
    PrivateSoundServer();
    ~PrivateSoundServer();

    PrivateSoundServer(const PrivateSoundServer&) = delete;
    PrivateSoundServer& operator=(const PrivateSoundServer&) = delete;

    // Starts the daemon and waits (bounded) until it accepts clients; false if it never does.
    bool start();
    // SIGKILL: the server vanishes without a goodbye, as when it crashes.
    void kill();
    // SIGTERM, then SIGKILL if it lingers.
    void stop();

    // The address clients pass as the server, e.g. "unix:/tmp/…/native".
    std::string address() const { return "unix:" + m_socket; }
    const std::string& directory() const { return m_directory; }

    // Whether the test environment offers a sound server to test against.
    static bool available();

private:
    void reap(int signal);

    std::string m_directory;
    std::string m_socket;
    pid_t m_pid = -1;
};
