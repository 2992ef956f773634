#include "audio/PulseCapture.h"

#include "audio/CaptureSteps.h"
#include "audio/PulseAudioMeter.h"

#include <chrono>
#include <pulse/def.h>
#include <string_view>

namespace {

constexpr const char* kThreadName = "beamwick.audio";

} // namespace

PulseCapture::PulseCapture(PulseAudioMeter& meter, std::uint64_t generation)
    : m_meter(meter), m_generation(generation),
      m_connection(meter.m_options.server,
                   {.ready =
                        [this] {
                            if (m_phase == Phase::connecting)
                                lookUp();
                        },
                    .lost = [this](int status) { connectionLost(status); },
                    .changed = [this](pa_subscription_event_type_t event,
                                      std::uint32_t index) { eventArrived(event, index); }}),
      m_lookup(
          [this](const pa_sink_info& sink, const std::string& name) { openRecorder(sink, name); },
          [this](const char* step, int status) { outputFailed(step, status); }),
      m_recorder(
          meter.m_detector,
          {.ready = [this] { recorderReady(); },
           .ended = [this](int status) { recorderEnded(status); },
           .measured =
               [this](const BassDetector::Level& level) {
                   m_meter.m_handOff.post(level.bass, level.previousAverage, m_generation);
               },
           .activity = [this](bool flowing) { m_meter.postActivity(m_generation, flowing); }}),
      m_playback(m_connection.api(), m_recorder), m_output([this] { follow(); }),
      m_deadline(m_connection.api()), m_retry(m_connection.api())
{}

std::optional<MeterError> PulseCapture::open()
{
    if (!m_connection.valid() || !m_connection.startThread(kThreadName))
        return MeterError(capture_step::creatingTap, PA_ERR_INTERNAL);
    // The main thread keeps a deadline of its own: whatever the audio thread does meanwhile
    // (moving to another output, waiting for one), the start returns within it.
    const auto deadline = std::chrono::steady_clock::now() + m_meter.m_options.setUpTimeout;
    const PulseConnection::Lock lock(m_connection);
    beginAttempt();
    while (!m_established && !m_failure)
        if (!m_connection.waitUntil(deadline) && !m_established && !m_failure)
            fail(currentStep(), PA_ERR_TIMEOUT);
    return m_failure;
}

void PulseCapture::close() noexcept
{
    if (m_closed)
        return;
    m_closed = true;
    if (m_connection.valid()) {
        const PulseConnection::Lock lock(m_connection);
        tearDown();
        m_phase = Phase::idle;
    }
    // Joins the audio thread: after this no callback of ours can run.
    m_connection.stopThread();
}

void PulseCapture::beginAttempt()
{
    m_phase = Phase::connecting;
    m_following = false;
    armDeadline();
    if (const int status = m_connection.connect())
        fail(capture_step::creatingTap, status);
}

void PulseCapture::lookUp()
{
    m_phase = Phase::lookingUp;
    m_lookup.begin(m_connection.context());
}

void PulseCapture::openRecorder(const pa_sink_info& sink, const std::string& name)
{
    m_phase = Phase::startingStream;
    m_sinkName = name;
    if (auto failure = m_recorder.open(m_connection.context(), sink, !m_following))
        outputFailed(failure->step().c_str(), failure->status());
}

void PulseCapture::outputFailed(const char* step, int status)
{
    if (!m_following || std::string_view(step) != capture_step::readingSpeakerId) {
        fail(step, status);
        return;
    }
    // While outputs come and go the server can name a default that is already gone, or none
    // at all (PipeWire names "@DEFAULT_SINK@" then), until its policy has chosen the next. That
    // is no lost capture: the output watch moves on when the server names another. Meanwhile no
    // levels come, so the main thread is told, as for a pause, and may sleep.
    m_phase = Phase::awaitingOutput;
    m_deadline.cancel();
    m_recorder.waitWithoutStream();
    m_output.follow(m_connection.context(), m_lookup.name(), PA_INVALID_INDEX);
}

void PulseCapture::recorderReady()
{
    if (m_phase != Phase::startingStream)
        return;
    m_phase = Phase::streaming;
    m_following = false;
    m_deadline.cancel();
    // From here on a failure means reconnecting, not a failed start: set now, not when open()
    // has seen it, since the capture may move on before the main thread looks.
    m_established = true;
    m_connection.signal();
    if (m_lost) {
        // Listening again: whether or not anything plays yet, the capture is back.
        m_lost = false;
        m_meter.postInterruption(m_generation, std::nullopt);
    }
    m_connection.subscribe(static_cast<pa_subscription_mask_t>(
        PA_SUBSCRIPTION_MASK_SINK_INPUT | PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER));
    m_playback.begin(m_connection.context(), m_connection.serial(), m_recorder.sinkIndex());
    m_output.follow(m_connection.context(), m_sinkName, m_recorder.sinkIndex());
}

void PulseCapture::recorderEnded(int status)
{
    // The server ends a record stream whose monitor went away (its sink was unplugged) while
    // the connection lives on: the capture moves to the default output instead.
    if (m_phase == Phase::streaming && m_connection.ready())
        follow();
    else
        connectionLost(status);
}

void PulseCapture::follow()
{
    m_playback.end();
    m_output.end();
    m_recorder.close();
    m_following = true;
    armDeadline();
    lookUp();
}

void PulseCapture::eventArrived(pa_subscription_event_type_t event, std::uint32_t index)
{
    if (m_phase != Phase::streaming && m_phase != Phase::awaitingOutput)
        return;
    if ((event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SINK_INPUT)
        m_playback.changed(event);
    else
        m_output.changed(event, index);
}

void PulseCapture::fail(const char* step, int status)
{
    if (m_phase == Phase::failed)
        return;
    m_phase = Phase::failed;
    m_deadline.cancel();
    m_lookup.cancel();
    m_playback.end();
    m_output.end();
    if (!m_established) {
        // open() is waiting; its caller tears everything down and throws.
        m_failure = MeterError(step, status);
        m_connection.signal();
        return;
    }
    if (!m_lost) {
        m_lost = true;
        m_meter.postInterruption(m_generation, MeterError(capture_step::listening, status));
    }
    // A failed context cannot be reused: drop it and connect afresh a while later.
    m_retry.arm(m_meter.m_options.retryInterval, [this] {
        tearDown();
        beginAttempt();
    });
}

void PulseCapture::connectionLost(int status)
{
    fail(m_phase == Phase::streaming ? capture_step::listening : currentStep(), status);
}

void PulseCapture::tearDown() noexcept
{
    m_deadline.cancel();
    m_retry.cancel();
    m_lookup.cancel();
    m_playback.end();
    m_output.end();
    // Reverse order of creation: the stream, then the context it lives on.
    m_recorder.close();
    m_connection.disconnect();
}

void PulseCapture::armDeadline()
{
    m_deadline.arm(m_meter.m_options.setUpTimeout, [this] { fail(currentStep(), PA_ERR_TIMEOUT); });
}

const char* PulseCapture::currentStep() const
{
    if (m_following || m_phase == Phase::streaming || m_phase == Phase::awaitingOutput)
        return capture_step::listening;
    if (m_phase == Phase::lookingUp)
        if (const char* step = m_lookup.step())
            return step;
    if (m_phase == Phase::startingStream)
        return capture_step::startingAudio;
    return capture_step::creatingTap;
}
