#pragma once

#include <cstddef>

// The names and limits a brightness service module and its client agree on, beside the C
// interface (service_abi.h) that carries them. Every side spells them from here, so a module and
// the client it is loaded by, or a fake module and the tests that drive it, cannot drift apart.
namespace ServiceContract {

// The client type the module's lookup entry point is asked for.
inline constexpr const char* className = "BrightnessSystemClient";

// The selectors of the two messages a client type answers.
inline constexpr const char* setSelector = "setProperty:forKey:";
inline constexpr const char* copySelector = "copyPropertyForKey:";

// The light on or off: integer 1 or 0.
inline constexpr const char* backlightModeKey = "LEBacklightMode";
// The brightness table: rows of numbers. Read, it is the factory table; written, a copy of it
// with the brightness column scaled by a level.
inline constexpr const char* tableKey = "LEPWMBrightnessNitsMapping";
// How fast the light follows a new table, in seconds.
inline constexpr const char* followTauKey = "LEPWMFollowTau";
// Read only: the file that changes when the firmware sets the brightness itself.
inline constexpr const char* hardwareChangeAttributeKey = "LEHardwareChangeAttribute";
// Written after such a change: the brightness the firmware set. Read: 1 when the factory
// brightness the table reports is one the firmware set, also before this run, else 0.
inline constexpr const char* hardwareBrightnessChangedKey = "LEHardwareBrightnessChanged";

// Written with an array of two integers, [brightness, max]: the desktop set the light to that
// raw brightness, on a light whose highest step it knows as max. Taken as a brightness key's
// change would be (0 switches the light off; anything else becomes its factory brightness).
// False when it cannot have been this light that the desktop set.
inline constexpr const char* desktopBrightnessKey = "LEDesktopBrightness";

// Read: the name of the light in use. Written with a light's name: drive that light from now on
// (the one driven until then gets nothing back by this; write it its factory table first);
// written with "": the light the module picks by itself.
inline constexpr const char* lightKey = "LELight";
// Read only: the names of the lights that can be chosen, as an array of strings.
inline constexpr const char* lightsKey = "LELights";
// Written once at start with the user's saved choice of light (a name, or "" for the module's
// own pick): the same as lightKey, except that a choice the module was started with for this
// run alone wins over it.
inline constexpr const char* preferredLightKey = "LEPreferredLight";

// Written with an array of a light's name and its factory table whole: gives that light its
// factory state back, as the table written under tableKey at quit does, while the light in use
// stays in use. False when there is no such light or the writing failed.
inline constexpr const char* handBackKey = "LEHandBack";

// The highest level a written table may scale the factory table by: full brightness.
inline constexpr double topLevel = 8.0;

} // namespace ServiceContract
