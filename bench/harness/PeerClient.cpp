#include "PeerClient.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>

PeerClient::PeerClient(std::string directory) : m_directory(std::move(directory)) {}

bool PeerClient::installed()
{
    return ::access(program, X_OK) == 0;
}

std::string PeerClient::configuration(const std::string& source)
{
    // Its defaults otherwise (60 frames a second, automatic sensitivity): what a user gets.
    return "[general]\n"
           "framerate = 60\n"
           "[input]\n"
           "method = pulse\n"
           "source = " +
           source +
           "\n"
           "[output]\n"
           "method = raw\n"
           "raw_target = /dev/null\n"
           "data_format = binary\n";
}

bool PeerClient::start(const std::string& source,
                       const std::map<std::string, std::string>& services)
{
    std::error_code error;
    std::filesystem::create_directories(m_directory + "/home", error);
    const std::string config = m_directory + "/peer.conf";
    {
        std::ofstream file(config, std::ios::trunc);
        file << configuration(source);
        if (!file) {
            m_error = "cannot write " + config;
            return false;
        }
    }
    ChildProcess::Launch launch;
    launch.program = program;
    launch.arguments = {"-p", config};
    launch.environment = services;
    launch.environment["HOME"] = m_directory + "/home";
    launch.outputFile = m_directory + "/peer.out";
    if (!m_process.start(launch)) {
        m_error = m_process.errorText();
        return false;
    }
    return true;
}

void PeerClient::stop()
{
    m_process.stop();
}
