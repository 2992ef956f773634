#pragma once

#include "audio/AudioMeter.h"
#include "brightness/Brightness.h"

#include <functional>
#include <memory>
#include <string>

class ChangeNotice;
class Clock;
class DarkConditions;
class DefaultsStore;
class DesktopLightNotice;
class PrivilegedRunner;
class SleepNotice;
class Ticker;
class WillTerminate;

// What the controller runs on: the real platform, put together by the application
// (src/app/Composition), or fakes in the tests. The controller owns the brightness client,
// the meter and the tickers, and borrows the rest, which must outlive it. Everything but the
// last ones is required: a borrowed one left out does not compile, and a missing owned one
// or fileExists makes the constructor throw std::invalid_argument.
struct ControllerEnvironment {
    std::unique_ptr<Brightness> brightness;
    std::unique_ptr<AudioMeter> meter;
    // The effect engine's periodic tick.
    std::unique_ptr<Ticker> ticker;
    // Music's alarm for a flash that waits for its beat to be heard.
    std::unique_ptr<Ticker> flashTicker;
    DefaultsStore& defaults;
    const Clock& clock;
    WillTerminate& willTerminate;
    PrivilegedRunner& privilegedRunner;
    // Whether a file exists; required.
    std::function<bool(const std::string& path)> fileExists;
    // Optional: the system waking from sleep, and a watcher for the file the service names
    // for the firmware's own brightness changes; see also the last.
    SleepNotice* sleepNotice = nullptr;
    std::function<std::unique_ptr<ChangeNotice>(const std::string& path)> watchFile = {};
    // Optional: the desktop setting the keyboard light through its own control.
    DesktopLightNotice* desktopLight = nullptr;
    // Optional: the lid, the session's lock and the power supply, which may hold the light dark.
    DarkConditions* darkConditions = nullptr;
};
