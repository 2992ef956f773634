#include "PrivateBus.h"

#include <systemd/sd-bus.h>

using namespace std::chrono_literals;

bool PrivateBus::start()
{
    const ChildProcess::Launch daemon{
        "/usr/bin/dbus-daemon",
        {"--session", "--nofork", "--nopidfile", "--address=" + address()},
        {{"PATH", "/usr/bin:/bin"}},
        m_folder + "/bus.log",
        false};
    // The socket exists before the daemon serves it; a call that the bus itself answers
    // proves it does.
    return m_daemon.start(daemon) &&
           m_daemon.waitUntil([this] { return hasOwner("org.freedesktop.DBus"); }, 10s,
                              "the private dbus-daemon");
}

bool PrivateBus::hasOwner(const std::string& name) const
{
    int has = 0;
    const bool asked = call([&](sd_bus* bus, sd_bus_message** reply, sd_bus_error* error) {
        return sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                  "org.freedesktop.DBus", "NameHasOwner", error, reply, "s",
                                  name.c_str()) >= 0 &&
               sd_bus_message_read(*reply, "b", &has) >= 0;
    });
    return asked && has != 0;
}

bool PrivateBus::call(const Work& work) const
{
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0)
        return false;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const bool done = sd_bus_set_address(bus, address().c_str()) >= 0 &&
                      sd_bus_set_bus_client(bus, 1) >= 0 && sd_bus_start(bus) >= 0 &&
                      work(bus, &reply, &error);
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_close_unref(bus);
    return done;
}
