#include "testkit/services/LateOutput.h"

#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr double kBytesPerSecond = 48000 * 2 * 2;
// What the pipe holds once full: 32 KiB, about 170 ms of the sink's audio.
constexpr int kPipeBytes = 32768;

} // namespace

LateOutput::LateOutput(const PrivateSoundServer& server, const std::string& folder)
    : m_server(server)
{
    const std::string fifo = folder + "/late.fifo";
    ::unlink(fifo.c_str());
    if (::mkfifo(fifo.c_str(), 0600) != 0)
        return;
    m_reader = std::thread([this, fifo] { drain(fifo); });
    m_module = m_server.pactl(std::string("load-module module-pipe-sink sink_name=") + sinkName +
                              " rate=48000 channels=2 format=s16le file=" + fifo);
    while (!m_module.empty() && m_module.back() == '\n')
        m_module.pop_back();
    if (!m_module.empty())
        m_server.pactl(std::string("set-default-sink ") + sinkName);
}

LateOutput::~LateOutput()
{
    if (!m_module.empty()) {
        m_server.pactl("set-default-sink " + m_server.sinkName());
        m_server.pactl("unload-module " + m_module);
    }
    m_draining = false;
    if (m_reader.joinable())
        m_reader.join();
}

void LateOutput::drain(const std::string& fifo)
{
    const int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return;
    ::fcntl(fd, F_SETPIPE_SZ, kPipeBytes);
    std::vector<char> chunk(static_cast<std::size_t>(kBytesPerSecond / 100));
    const auto start = std::chrono::steady_clock::now();
    double taken = 0;
    while (m_draining) {
        std::this_thread::sleep_until(
            start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>(taken / kBytesPerSecond)));
        // The clock runs on whether or not the sink wrote: a device plays silence then.
        const auto got = ::read(fd, chunk.data(), chunk.size());
        taken += got > 0 ? double(got) : double(chunk.size());
    }
    ::close(fd);
}
