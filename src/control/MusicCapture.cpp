#include "control/MusicCapture.h"

#include <stdexcept>

namespace {

const QString kStarting = QStringLiteral("Starting audio…");
const QString kReacting = QStringLiteral("Reacting to the bass in your computer's audio");

} // namespace

MusicCapture::MusicCapture(std::unique_ptr<AudioMeter> meter, std::function<void()> willChange)
    : m_meter(std::move(meter)), m_willChange(std::move(willChange))
{
    if (!m_meter)
        throw std::invalid_argument("MusicCapture: no meter");
}

QString MusicCapture::status() const
{
    switch (m_step) {
    case Step::stopped:
        return {};
    case Step::nothingToFlash:
        return QStringLiteral("Not listening — this light can't be dimmed, so it has nothing to "
                              "flash.");
    case Step::starting:
        return kStarting;
    case Step::failed:
        return QStringLiteral("Couldn't listen to audio (") + m_failure +
               QStringLiteral("). Check that PulseAudio or PipeWire is running in your session.");
    case Step::listening:
        // Already listening but cut off from the sound server, a start changes nothing: claiming
        // to react would be false until the capture reports it is back.
        if (m_lost)
            return QStringLiteral("Lost the audio (") + *m_lost +
                   QStringLiteral(") — listening again as soon as it is back…");
        return kReacting;
    }
    return {};
}

void MusicCapture::start()
{
    m_willChange();
    m_step = Step::starting;
    const auto fail = [this](QString why) {
        m_willChange();
        m_failure = std::move(why);
        m_step = Step::failed;
    };
    try {
        m_meter->start();
    } catch (const MeterError& error) {
        return fail(QString::fromStdString(error.errorDescription()));
    } catch (const std::exception& error) {
        return fail(QString::fromLocal8Bit(error.what()));
    }
    m_willChange();
    m_step = Step::listening;
}

void MusicCapture::end()
{
    m_meter->stop();
    // A fresh start begins listening and says nothing of a pause until there is one, and
    // reports of the stopped run never arrive.
    m_willChange();
    m_step = Step::stopped;
    m_lost.reset();
    m_paused = false;
    m_timing = {};
    m_shownLead = {};
}

void MusicCapture::endWithNothingToFlash()
{
    end();
    m_step = Step::nothingToFlash;
}

void MusicCapture::stopForRestart()
{
    m_meter->stop();
    m_paused = false;
    m_timing = {};
    m_shownLead = {};
}

void MusicCapture::noteTiming(const AudioMeter::OutputTiming& timing)
{
    constexpr std::chrono::microseconds kShownStep{5000};
    const bool anotherOutput = timing.output != m_timing.output;
    m_timing = timing;
    const auto lead = timing.lead();
    const auto moved = lead > m_shownLead ? lead - m_shownLead : m_shownLead - lead;
    if (!anotherOutput && moved < kShownStep)
        return;
    m_willChange();
    m_shownLead = lead;
}

void MusicCapture::noteLost(const std::optional<MeterError>& lost)
{
    m_willChange();
    m_lost.reset();
    if (lost)
        m_lost = QString::fromStdString(lost->errorDescription());
    m_step = Step::listening;
}
