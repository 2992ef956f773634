// The main thread's side of the meter: starting and stopping a capture run, and the reports that
// come back from it.
#include "audio/SoundServerMeter.h"

#include "audio/PulseSoundServerFactory.h"
#include "audio/SoundCapture.h"

namespace {

constexpr const char* kThreadName = "beamwick.audio";

} // namespace

SoundServerMeter::SoundServerMeter() : SoundServerMeter(Options{}) {}

SoundServerMeter::SoundServerMeter(Options options) : m_options(std::move(options)) {}

SoundServerMeter::~SoundServerMeter()
{
    stop();
}

void SoundServerMeter::setOnInterruption(InterruptionCallback callback)
{
    m_onInterruption = std::move(callback);
}

void SoundServerMeter::setOnActivity(ActivityCallback callback)
{
    m_onActivity = std::move(callback);
}

void SoundServerMeter::setOnTiming(TimingCallback callback)
{
    m_onTiming = std::move(callback);
}

void SoundServerMeter::start()
{
    if (m_capture)
        return;
    // Begun before the run's parts exist: they tell their reports apart by it.
    const auto run = m_handOff.beginRun();
    auto server = m_options.soundServer ? m_options.soundServer()
                                        : makePulseSoundServer(m_options.server, kThreadName);
    auto capture = std::make_unique<SoundCapture>(
        SoundCapture::Needs{
            .setUpTimeout = m_options.setUpTimeout,
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
            .activity = [this, run](bool flowing) { postActivity(run, flowing); },
            .timed = [this, run](const OutputTiming& timing) { postTiming(run, timing); }},
        std::move(server));
    if (auto failure = capture->open()) {
        capture->close();
        m_handOff.endRun();
        throw *failure;
    }
    m_capture = std::move(capture);
}

void SoundServerMeter::stop() noexcept
{
    if (!m_capture)
        return;
    m_capture->close();
    m_capture.reset();
    // Levels and reports of this run still queued are dropped.
    m_handOff.endRun();
}

void SoundServerMeter::postInterruption(Generation::Ticket run, std::optional<MeterError> lost)
{
    // The task goes to an object the meter owns, so it is dropped if the meter goes first; the
    // run's ticket drops a report that belongs to a run stopped since.
    m_handOff.postTask([this, run, lost = std::move(lost)] {
        if (m_handOff.current(run) && m_onInterruption)
            m_onInterruption(lost);
    });
}

void SoundServerMeter::postActivity(Generation::Ticket run, bool flowing)
{
    m_handOff.postTask([this, run, flowing] {
        if (m_handOff.current(run) && m_onActivity)
            m_onActivity(flowing);
    });
}

void SoundServerMeter::postTiming(Generation::Ticket run, OutputTiming timing)
{
    m_handOff.postTask([this, run, timing = std::move(timing)] {
        if (m_handOff.current(run) && m_onTiming)
            m_onTiming(timing);
    });
}
