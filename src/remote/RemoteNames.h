#pragma once

// Where the running Beamwick answers on the session bus, and what it offers there: the names the
// service (RemoteService) and the command line's client (src/cli) agree on.
namespace RemoteNames {

inline constexpr const char* busName = "org.beamwick.Beamwick";
inline constexpr const char* objectPath = "/org/beamwick/Beamwick";
inline constexpr const char* interface = "org.beamwick.Beamwick1";
inline constexpr const char* applicationInterface = "org.freedesktop.Application";
inline constexpr const char* propertiesInterface = "org.freedesktop.DBus.Properties";
inline constexpr const char* invalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";
// A change that was asked for in good form but did not happen: the light refused to switch, a
// light chosen is gone. The message is the reason, as the panel shows it.
inline constexpr const char* refused = "org.beamwick.Beamwick1.Error.Refused";
// A change that was made but could not be saved.
inline constexpr const char* notSaved = "org.beamwick.Beamwick1.Error.NotSaved";

// The properties of `interface`; the number settings' are in control/NumberSettings.h.
inline constexpr const char* on = "On";
inline constexpr const char* mode = "Mode";
inline constexpr const char* light = "Light";
inline constexpr const char* lights = "Lights";
inline constexpr const char* musicStatus = "MusicStatus";
inline constexpr const char* lastError = "LastError";
inline constexpr const char* heardOutput = "HeardOutput";
inline constexpr const char* reportedLatency = "ReportedLatency";
inline constexpr const char* darkWhenLocked = "DarkWhenLocked";
inline constexpr const char* darkOnBattery = "DarkOnBattery";
inline constexpr const char* darkReason = "DarkReason";

} // namespace RemoteNames
