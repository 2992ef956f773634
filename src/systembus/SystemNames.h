#pragma once

// The names of the system services Beamwick listens to or asks, each written here once: logind
// (sleep, the lid, the session's lock, setting an LED's brightness) and UPower (the keyboard
// light as the desktop sets it, the power supply).
namespace system_names {

struct Object {
    const char* service;
    const char* path;
    const char* interface;
};

inline constexpr const char* logind = "org.freedesktop.login1";
inline constexpr Object logindManager{logind, "/org/freedesktop/login1",
                                      "org.freedesktop.login1.Manager"};
// "auto" is the session of the calling process: the user sitting at this desktop.
inline constexpr Object logindOwnSession{logind, "/org/freedesktop/login1/session/auto",
                                         "org.freedesktop.login1.Session"};

inline constexpr const char* upower = "org.freedesktop.UPower";
inline constexpr Object upowerDaemon{upower, "/org/freedesktop/UPower", "org.freedesktop.UPower"};
inline constexpr Object upowerKeyboard{upower, "/org/freedesktop/UPower/KbdBacklight",
                                       "org.freedesktop.UPower.KbdBacklight"};

inline constexpr Object busDaemon{"org.freedesktop.DBus", "/org/freedesktop/DBus",
                                  "org.freedesktop.DBus"};
inline constexpr const char* properties = "org.freedesktop.DBus.Properties";

} // namespace system_names
