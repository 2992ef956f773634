// The main thread's side of the meter: starting and stopping a capture run, and the reports that
// come back from it.
#include "audio/PulseAudioMeter.h"

#include "audio/PulseCapture.h"
#include "audio/PulseSoundServer.h"

namespace {

constexpr const char* kThreadName = "beamwick.audio";

} // namespace

PulseAudioMeter::PulseAudioMeter() : PulseAudioMeter(Options{}) {}

PulseAudioMeter::PulseAudioMeter(Options options) : m_options(std::move(options)) {}

PulseAudioMeter::~PulseAudioMeter()
{
    stop();
}

void PulseAudioMeter::setOnInterruption(InterruptionCallback callback)
{
    m_onInterruption = std::move(callback);
}

void PulseAudioMeter::setOnActivity(ActivityCallback callback)
{
    m_onActivity = std::move(callback);
}

void PulseAudioMeter::start()
{
    if (m_capture)
        return;
    const std::uint64_t run = ++m_generation;
    auto server = m_options.soundServer
                      ? m_options.soundServer()
                      : std::make_shared<PulseSoundServer>(m_options.server, kThreadName);
    auto capture = std::make_unique<PulseCapture>(
        PulseCapture::Needs{.setUpTimeout = m_options.setUpTimeout,
                            .retryInterval = m_options.retryInterval,
                            .detector = m_detector,
                            .measured =
                                [this, run](const BassDetector::Level& level) {
                                    m_handOff.post(level.bass, level.previousAverage, run);
                                },
                            .interrupted =
                                [this, run](std::optional<MeterError> lost) {
                                    postInterruption(run, std::move(lost));
                                },
                            .activity = [this, run](bool flowing) { postActivity(run, flowing); }},
        std::move(server));
    m_handOff.setRun(run);
    if (auto failure = capture->open()) {
        capture->close();
        m_handOff.setRun(0);
        throw *failure;
    }
    m_capture = std::move(capture);
}

void PulseAudioMeter::stop() noexcept
{
    if (!m_capture)
        return;
    m_capture->close();
    m_capture.reset();
    // Levels of this run still queued are dropped, as its other reports are.
    m_handOff.setRun(0);
}

void PulseAudioMeter::postInterruption(std::uint64_t generation, std::optional<MeterError> lost)
{
    // The task goes to an object the meter owns, so it is dropped if the meter goes first; the
    // generation drops a report that belongs to a run stopped since.
    m_handOff.postTask([this, generation, lost = std::move(lost)] {
        if (m_capture && generation == m_generation && m_onInterruption)
            m_onInterruption(lost);
    });
}

void PulseAudioMeter::postActivity(std::uint64_t generation, bool flowing)
{
    m_handOff.postTask([this, generation, flowing] {
        if (m_capture && generation == m_generation && m_onActivity)
            m_onActivity(flowing);
    });
}
