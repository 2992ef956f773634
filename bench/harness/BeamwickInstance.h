#pragma once

#include "testkit/services/ChildProcess.h"

#include <chrono>
#include <functional>
#include <map>
#include <string>

// The real beamwick executable in a private install: <root>/bin/beamwick beside
// <root>/lib/beamwick/beamwick-leds.so (the recording service module, which timestamps every
// write into a log), its own settings seeded with a mode, its own runtime and config
// directories, and no display (Qt's offscreen platform).
class BeamwickInstance {
public:
    struct Install {
        std::string executable;
        std::string serviceModule;
    };

    BeamwickInstance(std::string root, Install install);

    // Lays out the private install; false with errorText when a file cannot be placed.
    bool prepare();
    // Seeds the settings with the mode ("Steady", "Breathe", "Music") at brightness 1.0 and
    // starts the process with the services given in the environment.
    bool start(const std::string& mode, const std::map<std::string, std::string>& services);
    // Waits (bounded) until the log satisfies the predicate; false if it never does or the
    // process ends first.
    bool waitForLog(const std::function<bool(const std::string& log)>& ready,
                    std::chrono::milliseconds timeout);
    // Asks the process to quit as a desktop logout does and returns its exit code.
    std::optional<int> stop();

    pid_t pid() const { return m_process.pid(); }
    bool running() { return m_process.running(); }
    std::string logPath() const { return m_root + "/log/writes.log"; }
    // Ends the write log for the rest of the run by moving its folder aside: each later write
    // then costs the recording module one failed open() instead of appending to a file, so what
    // is measured afterwards is Beamwick's own cost rather than the log's.
    bool detachLog();
    std::string outputPath() const { return m_root + "/beamwick.out"; }
    std::string settingsPath() const { return m_root + "/config/beamwick/settings.json"; }
    const std::string& errorText() const { return m_error; }

    // The settings file that puts Beamwick into a mode; `more` adds members to it, as JSON
    // (`"key": value, ...`).
    static std::string seed(const std::string& mode, const std::string& more = "");
    // Members the next start adds to the settings it seeds.
    void seedAlso(std::string more) { m_more = std::move(more); }

private:
    std::string m_root;
    Install m_install;
    ChildProcess m_process;
    std::string m_error;
    std::string m_more;
};
