#pragma once

#include "ChildProcess.h"

#include <string>

// A PulseAudio daemon whose only (so default) sink is the null sink "test_sink", and a D-Bus
// session bus, both private to one benchmark run: their own directory, sockets and home, stopped
// by process id. The daemon's process id is known, so its own CPU can be measured.
class PrivateServices {
public:
    PrivateServices();
    // Stops both services and removes the directory.
    ~PrivateServices();
    PrivateServices(const PrivateServices&) = delete;
    PrivateServices& operator=(const PrivateServices&) = delete;

    // Starts both and waits (bounded) until they accept clients; false with errorText if not.
    bool start();

    const std::string& directory() const { return m_directory; }
    std::string pulseServer() const { return "unix:" + m_directory + "/native"; }
    std::string busAddress() const { return "unix:path=" + m_directory + "/bus"; }
    pid_t pulsePid() const { return m_pulse.pid(); }
    const std::string& errorText() const { return m_error; }

private:
    std::string m_directory;
    ChildProcess m_bus;
    ChildProcess m_pulse;
    std::string m_error;
};

// Whether a Unix socket at the path accepts a connection now.
bool socketAccepts(const std::string& path);
