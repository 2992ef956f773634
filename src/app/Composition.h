#pragma once

#include "platform/Clock.h"
#include "platform/JsonDefaultsStore.h"
#include "platform/PkexecRunner.h"
#include "platform/WillTerminate.h"

#include <QString>
#include <memory>
#include <string>

class LogindSleepNotice;
class SystemDarkConditions;
class UPowerKeyboardNotice;
class LogoController;

// Beamwick's composition root: the real platform, built once in main and owned there, and the
// controller made over it. Nothing outside src/app builds a concrete platform object. Construct
// it after the application object and let it go before: it holds Qt objects (the settings
// store's save timer, the notices).
class Composition {
public:
    struct Options {
        // The settings file; empty for the user's (JsonDefaultsStore::standardPath()).
        QString settingsFile;
        // How long a burst of settings changes waits before it is saved.
        int settingsSaveDelayMs = 500;
        // The brightness service module; empty for the one installed beside the executable.
        std::string serviceModule;
    };

    Composition();
    explicit Composition(Options options);
    ~Composition();

    Composition(const Composition&) = delete;
    Composition& operator=(const Composition&) = delete;

    // A controller over the real platform: its own brightness client, sound-server meter and
    // tick timer; the settings, the clock, the administrator prompt and the notices borrowed
    // from here, so it must go before the composition. The system bus's notices (waking from
    // sleep, the desktop's keyboard light, the lid,
    // the lock and the power supply) are made with the first controller: an instance that
    // only hands over to a running one never connects to the system bus.
    std::unique_ptr<LogoController> makeController();

    JsonDefaultsStore& settings() { return m_settings; }
    WillTerminate& willTerminate() { return m_willTerminate; }

private:
    std::string m_serviceModule;
    SteadyClock m_clock;
    PkexecRunner m_runner;
    JsonDefaultsStore m_settings;
    WillTerminate m_willTerminate;
    std::unique_ptr<LogindSleepNotice> m_sleep;
    std::unique_ptr<UPowerKeyboardNotice> m_desktopLight;
    std::unique_ptr<SystemDarkConditions> m_dark;
};
