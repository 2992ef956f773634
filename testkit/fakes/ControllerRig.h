#pragma once

#include "control/LogoController.h"
#include "platform/ChangeNotice.h"
#include "platform/DarkConditions.h"
#include "platform/DesktopLightNotice.h"
#include "platform/SleepNotice.h"
#include "platform/WillTerminate.h"
#include "testkit/fakes/FakeAudioMeter.h"
#include "testkit/fakes/FakeClock.h"
#include "testkit/fakes/FakeService.h"
#include "testkit/fakes/FakeTicker.h"
#include "testkit/fakes/MemoryDefaultsStore.h"
#include "testkit/fakes/ScriptedRunner.h"

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

// What the controller tells the user, word for word.
inline const QString kReacting = QStringLiteral("Reacting to the bass in your computer's audio");
inline const QString kRefusedSwitch = QStringLiteral("The system refused to switch the logo.");
inline const QString kNoTable = QStringLiteral("Brightness table not found — dimming unavailable.");
inline const QString kUnreachable =
    QStringLiteral("Couldn't reach the system's brightness service.");

// What a test swaps into a ControllerRig's controller; each one left empty is the rig's own fake.
struct ControllerOverrides {
    // The service module behind the brightness client (the recording fake's by default).
    std::string modulePath = FAKE_SERVICE_MODULE_PATH;
    // A client already open, e.g. over the real LED module; wins over modulePath.
    std::unique_ptr<Brightness> brightness = {};
    std::unique_ptr<AudioMeter> meter = {};
    std::unique_ptr<Ticker> ticker = {};
    std::unique_ptr<Ticker> flashTicker = {};
    DefaultsStore* defaults = nullptr;
    const Clock* clock = nullptr;
    SleepNotice* sleepNotice = nullptr;
    std::function<std::unique_ptr<ChangeNotice>(const std::string& path)> watchFile = {};
    DesktopLightNotice* desktopLight = nullptr;
};

// Everything a real controller needs, faked: the recording service module, an in-memory
// settings store, a hand-driven clock and ticker, a meter that never listens, a scripted
// administrator prompt and private quit and wake-up notices. A test swaps in what it exercises
// for real through Overrides. meter and the tickers point at the fakes of the controller made last,
// and are null where a real one was swapped in.
struct ControllerRig {
    using Overrides = ControllerOverrides;

    ControllerRig() { service.reset(); }

    LogoController::Environment environment(Overrides with = {})
    {
        meter = nullptr;
        ticker = nullptr;
        flashTicker = nullptr;
        if (!with.meter) {
            auto fake = std::make_unique<FakeAudioMeter>();
            meter = fake.get();
            with.meter = std::move(fake);
        }
        if (!with.ticker) {
            auto fake = std::make_unique<FakeTicker>();
            ticker = fake.get();
            with.ticker = std::move(fake);
        }
        if (!with.flashTicker) {
            auto fake = std::make_unique<FakeTicker>();
            flashTicker = fake.get();
            with.flashTicker = std::move(fake);
        }
        return {
            .brightness = with.brightness ? std::move(with.brightness)
                                          : std::make_unique<Brightness>(with.modulePath),
            .meter = std::move(with.meter),
            .ticker = std::move(with.ticker),
            .flashTicker = std::move(with.flashTicker),
            .defaults = with.defaults ? *with.defaults : defaults,
            .clock = with.clock ? *with.clock : clock,
            .willTerminate = willTerminate,
            .privilegedRunner = runner,
            .fileExists = [this](const std::string& path) { return files.count(path) > 0; },
            .sleepNotice = with.sleepNotice ? with.sleepNotice : &sleep,
            .watchFile = std::move(with.watchFile),
            .desktopLight = with.desktopLight,
            .darkConditions = &dark,
        };
    }

    std::unique_ptr<LogoController> make(Overrides with = {})
    {
        return std::make_unique<LogoController>(environment(std::move(with)));
    }

    // Where the controller looks for the privilege rule an earlier version installed.
    static constexpr const char* oldSudoRule = "/etc/sudoers.d/beamwick";

    FakeService service;
    MemoryDefaultsStore defaults;
    FakeClock clock;
    WillTerminate willTerminate;
    SleepNotice sleep;
    // The lid, the lock and the power supply, as a test tells them.
    DarkConditions dark;
    ScriptedRunner runner;
    std::set<std::string> files;
    FakeAudioMeter* meter = nullptr;
    FakeTicker* ticker = nullptr;
    FakeTicker* flashTicker = nullptr;
};
