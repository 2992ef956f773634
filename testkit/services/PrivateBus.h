#pragma once

#include "ChildProcess.h"

#include <functional>
#include <string>
#include <systemd/sd-bus.h>

// A dbus-daemon of our own, listening on a socket in a folder the caller owns. It stands in
// for the session bus (the sound servers' and Beamwick's) or for the system bus (logind's):
// the daemon's configuration is the same either way, only the clients' variable differs.
class PrivateBus {
public:
    // The socket and the log "bus.log" go into `folder`, which must exist.
    explicit PrivateBus(std::string folder) : m_folder(std::move(folder)) {}

    // Starts the daemon and waits (bounded) until it answers a call; false, with errorText
    // carrying the end of its log, if it does not.
    bool start();
    void stop() { m_daemon.stop(); }
    bool running() { return m_daemon.running(); }

    std::string address() const { return "unix:path=" + m_folder + "/bus"; }
    const std::string& errorText() const { return m_daemon.errorText(); }
    // Whether `name` has an owner on this bus now; false while the bus is not up.
    bool hasOwner(const std::string& name) const;
    // Runs `work` on a connection of its own to this bus; false when either failed.
    using Work = std::function<bool(sd_bus* bus, sd_bus_message** reply, sd_bus_error* error)>;
    bool call(const Work& work) const;

private:
    std::string m_folder;
    ChildProcess m_daemon;
};
