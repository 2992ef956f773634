#pragma once

#include "testkit/services/ChildProcess.h"

#include <map>
#include <string>

// A peer capture client for the side-by-side figure: Debian's cava, a generic audio visualiser,
// capturing the same monitor through PulseAudio and writing its raw bar heights to /dev/null, so
// it does the same kind of work (capture and analysis) without drawing anything.
class PeerClient {
public:
    static constexpr const char* program = "/usr/bin/cava";

    explicit PeerClient(std::string directory);

    static bool installed();
    // The configuration file's text for capturing the given PulseAudio source.
    static std::string configuration(const std::string& source);

    bool start(const std::string& source, const std::map<std::string, std::string>& services);
    void stop();
    pid_t pid() const { return m_process.pid(); }
    bool running() { return m_process.running(); }
    const std::string& errorText() const { return m_error; }

private:
    std::string m_directory;
    ChildProcess m_process;
    std::string m_error;
};
