#include "audio/PulseCapture.h"

#include <pulse/def.h>

namespace {

constexpr const char* kThreadName = "beamwick.audio";

using Step = MeterError::Step;

} // namespace

PulseCapture::PulseCapture(Needs needs)
    : m_needs(std::move(needs)),
      m_connection(m_needs.server,
                   {.ready =
                        [this] {
                            if (m_state == State::starting || m_state == State::reconnecting)
                                lookUp();
                        },
                    .lost = [this](int status) { fail(currentStep(), status); },
                    .changed = [this](pa_subscription_event_type_t event,
                                      std::uint32_t index) { eventArrived(event, index); }}),
      m_lookup(
          [this](const pa_sink_info& sink, const std::string& name) { openRecorder(sink, name); },
          [this](Step step, int status) { outputFailed(step, status); }),
      m_recorder(m_needs.detector, {.ready = [this] { recorderReady(); },
                                    .ended = [this](int status) { recorderEnded(status); },
                                    .measured = m_needs.measured,
                                    .activity = m_needs.activity}),
      m_playback(m_connection.api(), m_recorder), m_output([this] { follow(); }),
      m_deadline(m_connection.api()), m_retry(m_connection.api())
{}

std::optional<MeterError> PulseCapture::open()
{
    if (!m_connection.valid() || !m_connection.startThread(kThreadName))
        return MeterError(Step::creatingTap, PA_ERR_INTERNAL);
    // The main thread keeps a deadline of its own: whatever the audio thread does meanwhile
    // (moving to another output, waiting for one), the start returns within it.
    const auto deadline = std::chrono::steady_clock::now() + m_needs.setUpTimeout;
    const PulseConnection::Lock lock(m_connection);
    beginAttempt();
    while (m_state == State::starting)
        if (!m_connection.waitUntil(deadline) && m_state == State::starting)
            fail(currentStep(), PA_ERR_TIMEOUT);
    return m_failure;
}

void PulseCapture::close() noexcept
{
    if (!m_connection.valid()) {
        m_state = State::closed;
        return;
    }
    {
        // The state is read under the lock too: until the thread is joined, the audio thread may
        // be failing or reconnecting at this very moment.
        const PulseConnection::Lock lock(m_connection);
        if (m_state == State::closed)
            return;
        tearDown();
        m_state = State::closed;
    }
    // Joins the audio thread: after this no callback of ours can run.
    m_connection.stopThread();
}

void PulseCapture::beginAttempt()
{
    armDeadline();
    if (const int status = m_connection.connect())
        fail(Step::creatingTap, status);
}

void PulseCapture::lookUp()
{
    m_lookup.begin(m_connection.context());
}

void PulseCapture::openRecorder(const pa_sink_info& sink, const std::string& name)
{
    m_sinkName = name;
    if (auto failure = m_recorder.open(m_connection.context(), sink, m_state != State::moving))
        outputFailed(failure->step, failure->status);
}

void PulseCapture::outputFailed(Step step, int status)
{
    if (m_state != State::moving || step != Step::readingSpeakerId) {
        fail(step, status);
        return;
    }
    // While outputs come and go the server can name a default that is already gone, or none
    // at all (PipeWire names "@DEFAULT_SINK@" then), until its policy has chosen the next. That
    // is no lost capture: the output watch moves on when the server names another. Meanwhile no
    // levels come, so the main thread is told, as for a pause, and may sleep.
    m_state = State::awaitingOutput;
    m_deadline.cancel();
    m_recorder.waitWithoutStream();
    m_output.follow(m_connection.context(), m_lookup.name(), PA_INVALID_INDEX);
}

void PulseCapture::recorderReady()
{
    if (m_state != State::starting && m_state != State::moving && m_state != State::reconnecting)
        return;
    const bool back = m_state == State::reconnecting;
    // From here on a failure means reconnecting, not a failed start, whenever open() looks.
    m_state = State::streaming;
    m_deadline.cancel();
    m_connection.signal();
    // Listening again: whether or not anything plays yet, the capture is back.
    if (back)
        m_needs.interrupted(std::nullopt);
    m_connection.subscribe(static_cast<pa_subscription_mask_t>(
        PA_SUBSCRIPTION_MASK_SINK_INPUT | PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER));
    m_playback.begin(m_connection.context(), m_connection.serial(), m_recorder.sinkIndex());
    m_output.follow(m_connection.context(), m_sinkName, m_recorder.sinkIndex());
}

void PulseCapture::recorderEnded(int status)
{
    // The server ends a record stream whose monitor went away (its sink was unplugged) while
    // the connection lives on: the capture moves to the default output instead.
    if (m_state == State::streaming && m_connection.ready())
        follow();
    else
        fail(currentStep(), status);
}

void PulseCapture::follow()
{
    m_playback.end();
    m_output.end();
    m_recorder.close();
    m_state = State::moving;
    armDeadline();
    lookUp();
}

void PulseCapture::eventArrived(pa_subscription_event_type_t event, std::uint32_t index)
{
    if (m_state != State::streaming && m_state != State::awaitingOutput)
        return;
    if ((event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SINK_INPUT)
        m_playback.changed(event);
    else
        m_output.changed(event, index);
}

void PulseCapture::fail(Step step, int status)
{
    if (m_state == State::failed || m_state == State::lost || m_state == State::closed)
        return;
    m_deadline.cancel();
    m_lookup.cancel();
    m_playback.end();
    m_output.end();
    if (m_state == State::starting) {
        // open() is waiting; its caller tears everything down and throws.
        m_state = State::failed;
        m_failure = MeterError(step, status);
        m_connection.signal();
        return;
    }
    // The loss is reported once, not again for each attempt that fails while reconnecting.
    if (m_state != State::reconnecting)
        m_needs.interrupted(MeterError(Step::listening, status));
    m_state = State::lost;
    // A failed context cannot be reused: drop it and connect afresh a while later.
    m_retry.arm(m_needs.retryInterval, [this] {
        tearDown();
        m_state = State::reconnecting;
        beginAttempt();
    });
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
    m_deadline.arm(m_needs.setUpTimeout, [this] { fail(currentStep(), PA_ERR_TIMEOUT); });
}

Step PulseCapture::currentStep() const
{
    if (m_state != State::starting)
        return Step::listening;
    if (const auto step = m_lookup.step())
        return *step;
    if (m_recorder.isOpen())
        return Step::startingAudio;
    return Step::creatingTap;
}
