#include "BeamwickInstance.h"

#include "WriteLog.h"

#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

BeamwickInstance::BeamwickInstance(std::string root, Install install)
    : m_root(std::move(root)), m_install(std::move(install))
{}

std::string BeamwickInstance::seed(const std::string& mode, const std::string& more)
{
    return R"({"mode": ")" + mode + R"(", "brightness": 1.0)" + (more.empty() ? "" : ", " + more) +
           "}\n";
}

bool BeamwickInstance::prepare()
{
    std::error_code error;
    for (const char* sub : {"bin", "lib/beamwick", "config/beamwick", "run", "home", "log"})
        fs::create_directories(fs::path(m_root) / sub, error);
    fs::permissions(fs::path(m_root) / "run", fs::perms::owner_all, error);
    // The client loads its module from bin/../lib/beamwick beside the executable, so both are
    // copied rather than linked: a symlinked executable would resolve to the build tree.
    fs::copy_file(m_install.executable, fs::path(m_root) / "bin/beamwick",
                  fs::copy_options::overwrite_existing, error);
    if (error) {
        m_error = "cannot copy " + m_install.executable + ": " + error.message();
        return false;
    }
    fs::copy_file(m_install.serviceModule, fs::path(m_root) / "lib/beamwick/beamwick-leds.so",
                  fs::copy_options::overwrite_existing, error);
    if (error) {
        m_error = "cannot copy " + m_install.serviceModule + ": " + error.message();
        return false;
    }
    return true;
}

bool BeamwickInstance::start(const std::string& mode,
                             const std::map<std::string, std::string>& services)
{
    std::error_code error;
    fs::remove_all(fs::path(logPath()).parent_path().string() + ".detached", error);
    fs::create_directories(fs::path(logPath()).parent_path(), error);
    fs::remove(logPath(), error);
    {
        std::ofstream settings(settingsPath(), std::ios::trunc);
        settings << seed(mode, m_more);
        if (!settings) {
            m_error = "cannot write " + settingsPath();
            return false;
        }
    }
    ChildProcess::Launch launch;
    launch.program = m_root + "/bin/beamwick";
    launch.outputFile = outputPath();
    launch.environment = services;
    launch.environment["QT_QPA_PLATFORM"] = "offscreen";
    launch.environment["XDG_CONFIG_HOME"] = m_root + "/config";
    launch.environment["XDG_RUNTIME_DIR"] = m_root + "/run";
    launch.environment["HOME"] = m_root + "/home";
    launch.environment["BEAMWICK_FAKE_SERVICE_LOG"] = logPath();
    // Nothing of a desktop the harness may have been started from.
    launch.environment["DISPLAY"] = "";
    launch.environment["WAYLAND_DISPLAY"] = "";
    if (!m_process.start(launch)) {
        m_error = m_process.errorText();
        return false;
    }
    return true;
}

bool BeamwickInstance::waitForLog(const std::function<bool(const std::string&)>& ready,
                                  std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (ready(WriteLog::readAll(logPath())))
            return true;
        if (!m_process.running()) {
            m_error = "beamwick ended early (see " + outputPath() + ")";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    m_error = "beamwick did not reach its mode in time (see " + outputPath() + ")";
    return false;
}

bool BeamwickInstance::detachLog()
{
    std::error_code error;
    const fs::path folder = fs::path(logPath()).parent_path();
    fs::rename(folder, folder.string() + ".detached", error);
    if (error)
        m_error = "cannot move " + folder.string() + " aside: " + error.message();
    return !error;
}

std::optional<int> BeamwickInstance::stop()
{
    return m_process.stop(std::chrono::seconds(10));
}
