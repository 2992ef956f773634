#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// A child process started with an exact environment and its output in a log file, stopped by
// its own process id. Every wait is bounded, and a wait that runs out says so with the end of
// the log, so a daemon that never came up is never mistaken for one that did.
class ChildProcess {
public:
    struct Launch {
        std::string program;
        std::vector<std::string> arguments;
        // Applied over this process's environment; an empty value removes the variable.
        std::map<std::string, std::string> environment;
        // Standard output and error go here (appended); /dev/null when empty.
        std::string outputFile;
        // Daemons get only `environment`: whatever the caller's session points at (its sound
        // server, its bus, its state folders) must not leak into a private one.
        bool inheritEnvironment = true;
    };

    ChildProcess() = default;
    // Stops the child if it still runs.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;

    // False (and errorText says why) when the program could not be started at all.
    bool start(const Launch& launch);
    pid_t pid() const { return m_pid; }
    bool running();
    // Polls `answers` until it holds; false, with errorText naming `what` and carrying the end
    // of the log, when the bound passes or the child ends first.
    bool waitUntil(const std::function<bool()>& answers, std::chrono::milliseconds bound,
                   const std::string& what);
    // Waits for the child to end by itself; its exit code, or nothing on time-out or a signal.
    std::optional<int> wait(std::chrono::milliseconds timeout);
    // SIGTERM, then SIGKILL after the grace period. Returns the exit code if it exited normally.
    std::optional<int> stop(std::chrono::milliseconds grace = std::chrono::seconds(5));
    // SIGKILL at once: the child vanishes without a goodbye, as when it crashes.
    void kill();
    const std::string& errorText() const { return m_error; }
    // The last lines of the log, for failure messages.
    std::string logTail(std::size_t lines = 12) const { return tail(m_log, lines); }

    // The environment a Launch produces, as "NAME=value" strings.
    static std::vector<std::string> environmentFor(const std::map<std::string, std::string>& over,
                                                   bool inherit = true);
    // The last lines of a text file; empty when it cannot be read.
    static std::string tail(const std::string& path, std::size_t lines = 12);

private:
    bool reap(bool block);

    pid_t m_pid = -1;
    std::optional<int> m_exitCode;
    bool m_ended = false;
    std::string m_log;
    std::string m_error;
};
