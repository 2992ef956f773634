#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

ChildProcess::~ChildProcess()
{
    stop(std::chrono::seconds(2));
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : m_pid(other.m_pid), m_exitCode(other.m_exitCode), m_ended(other.m_ended),
      m_error(std::move(other.m_error))
{
    other.m_pid = -1;
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept
{
    if (this != &other) {
        stop(std::chrono::seconds(2));
        m_pid = other.m_pid;
        m_exitCode = other.m_exitCode;
        m_ended = other.m_ended;
        m_error = std::move(other.m_error);
        other.m_pid = -1;
    }
    return *this;
}

std::vector<std::string>
ChildProcess::environmentFor(const std::map<std::string, std::string>& over)
{
    std::map<std::string, std::string> merged;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string text(*entry);
        const auto equals = text.find('=');
        if (equals != std::string::npos)
            merged[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& [name, value] : over) {
        if (value.empty())
            merged.erase(name);
        else
            merged[name] = value;
    }
    std::vector<std::string> out;
    for (const auto& [name, value] : merged)
        out.push_back(name + "=" + value);
    return out;
}

bool ChildProcess::start(const Launch& launch)
{
    stop(std::chrono::seconds(2));
    m_ended = false;
    m_exitCode.reset();
    m_error.clear();

    std::vector<std::string> args{launch.program};
    args.insert(args.end(), launch.arguments.begin(), launch.arguments.end());
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = environmentFor(launch.environment);
    std::vector<char*> envp;
    for (auto& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string output = launch.outputFile.empty() ? "/dev/null" : launch.outputFile;
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    const int result =
        posix_spawn(&pid, launch.program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        m_error = launch.program + ": " + std::strerror(result);
        return false;
    }
    m_pid = pid;
    return true;
}

bool ChildProcess::reap(bool block)
{
    if (m_pid <= 0 || m_ended)
        return m_ended;
    int status = 0;
    pid_t got;
    do {
        got = ::waitpid(m_pid, &status, block ? 0 : WNOHANG);
    } while (got < 0 && errno == EINTR);
    if (got == m_pid) {
        m_ended = true;
        if (WIFEXITED(status))
            m_exitCode = WEXITSTATUS(status);
    } else if (got < 0) {
        m_ended = true;
    }
    return m_ended;
}

bool ChildProcess::running()
{
    return m_pid > 0 && !reap(false);
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (running()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return m_pid > 0 ? m_exitCode : std::nullopt;
}

std::optional<int> ChildProcess::stop(std::chrono::milliseconds grace)
{
    if (m_pid <= 0)
        return std::nullopt;
    if (running()) {
        ::kill(m_pid, SIGTERM);
        wait(grace);
        // Only a child not yet reaped may be signalled: a reaped id may already be another's.
        if (running()) {
            ::kill(m_pid, SIGKILL);
            reap(true);
        }
    }
    const auto code = m_exitCode;
    m_pid = -1;
    return code;
}
