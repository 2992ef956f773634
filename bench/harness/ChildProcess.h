#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// A child process started with an exact environment and its output in a file, stopped by its
// own process id. Every wait is bounded.
class ChildProcess {
public:
    struct Launch {
        std::string program;
        std::vector<std::string> arguments;
        // Applied over this process's environment; an empty value removes the variable.
        std::map<std::string, std::string> environment;
        // Standard output and error go here (appended); /dev/null when empty.
        std::string outputFile;
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
    // Waits for the child to end by itself; its exit code, or nothing on time-out or a signal.
    std::optional<int> wait(std::chrono::milliseconds timeout);
    // SIGTERM, then SIGKILL after the grace period. Returns the exit code if it exited normally.
    std::optional<int> stop(std::chrono::milliseconds grace = std::chrono::seconds(5));
    const std::string& errorText() const { return m_error; }

    // The environment a Launch produces, as "NAME=value" strings.
    static std::vector<std::string> environmentFor(const std::map<std::string, std::string>& over);

private:
    bool reap(bool block);

    pid_t m_pid = -1;
    std::optional<int> m_exitCode;
    bool m_ended = false;
    std::string m_error;
};
