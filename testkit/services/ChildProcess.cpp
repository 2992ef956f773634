#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/prctl.h>
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
      m_log(std::move(other.m_log)), m_error(std::move(other.m_error))
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
        m_log = std::move(other.m_log);
        m_error = std::move(other.m_error);
        other.m_pid = -1;
    }
    return *this;
}

std::vector<std::string>
ChildProcess::environmentFor(const std::map<std::string, std::string>& over, bool inherit)
{
    std::map<std::string, std::string> merged;
    for (char** entry = environ; inherit && entry && *entry; ++entry) {
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

std::string ChildProcess::tail(const std::string& path, std::size_t lines)
{
    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::size_t end = text.size();
    if (end > 0 && text[end - 1] == '\n')
        --end;
    std::size_t at = end;
    for (std::size_t seen = 0; at > 0; --at)
        if (text[at - 1] == '\n' && ++seen == lines)
            break;
    return text.substr(at, end - at);
}

bool ChildProcess::start(const Launch& launch)
{
    stop(std::chrono::seconds(2));
    m_ended = false;
    m_exitCode.reset();
    m_error.clear();
    m_log = launch.outputFile;

    // Everything the child needs is made before forking: the child of a threaded process may
    // only make async-signal-safe calls until it has exec'd.
    std::vector<std::string> args{launch.program};
    args.insert(args.end(), launch.arguments.begin(), launch.arguments.end());
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = environmentFor(launch.environment, launch.inheritEnvironment);
    std::vector<char*> envp;
    for (auto& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    const std::string output = launch.outputFile.empty() ? "/dev/null" : launch.outputFile;
    const pid_t parent = ::getpid();
    // The child writes exec's errno here; closed on a successful exec, so an empty read
    // means the program runs.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        m_error = launch.program + ": " + std::strerror(errno);
        return false;
    }

    const pid_t pid = ::fork();
    if (pid == 0) {
        // A test or benchmark that crashes must not leave its daemons running.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        sigset_t all;
        sigemptyset(&all);
        ::sigprocmask(SIG_SETMASK, &all, nullptr);
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        int error = in < 0 || out < 0 ? errno : 0;
        if (error == 0 && (::dup2(in, STDIN_FILENO) < 0 || ::dup2(out, STDOUT_FILENO) < 0 ||
                           ::dup2(out, STDERR_FILENO) < 0))
            error = errno;
        if (error == 0) {
            ::execve(launch.program.c_str(), argv.data(), envp.data());
            error = errno;
        }
        [[maybe_unused]] const auto written = ::write(report[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(report[1]);
    if (pid < 0) {
        m_error = launch.program + ": " + std::strerror(errno);
        ::close(report[0]);
        return false;
    }
    int error = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    m_pid = pid;
    if (got == sizeof error) {
        reap(true);
        m_pid = -1;
        m_error = launch.program + ": " + std::strerror(error);
        return false;
    }
    return true;
}

bool ChildProcess::waitUntil(const std::function<bool()>& answers, std::chrono::milliseconds bound,
                             const std::string& what)
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        if (answers())
            return true;
        if (!running()) {
            m_error = what + ": the process ended first";
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            m_error = what + ": no answer within " + std::to_string(bound.count()) + " ms";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const std::string end = logTail();
    m_error += end.empty() ? " (its log is empty)" : "; the end of its log:\n" + end;
    return false;
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

void ChildProcess::kill()
{
    if (running()) {
        ::kill(m_pid, SIGKILL);
        reap(true);
    }
    m_pid = -1;
}
