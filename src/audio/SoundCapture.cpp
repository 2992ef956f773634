#include "audio/SoundCapture.h"

namespace {

using Step = MeterError::Step;
using Failure = SoundServer::Failure;

// The server's code and its own words for it, so the user is told more than a number.
MeterError failureOf(Step step, const Failure& failure)
{
    return MeterError(step, failure.status, failure.words);
}

} // namespace

SoundCapture::SoundCapture(Needs needs, std::shared_ptr<SoundServer> server)
    : m_needs(std::move(needs)), m_server(std::move(server)),
      m_lookup(
          *m_server,
          [this](const SoundServer::Sink& sink, const std::string& name) {
              openRecorder(sink, name);
          },
          [this](Step step, const Failure& failure) { outputFailed(step, failure); }),
      m_recorder(
          *m_server, m_needs.detector,
          {.ready = [this] { recorderReady(); },
           .ended = [this](const Failure& failure, bool lost) { recorderEnded(failure, lost); },
           .measured = m_needs.measured,
           .activity = m_needs.activity,
           .timed =
               [this](const SoundServer::Timing& timing) {
                   if (auto report = m_timing.update(m_sinkName, timing))
                       m_needs.timed(*report);
               }}),
      m_playback(*m_server, m_recorder),
      m_output(
          *m_server, [this] { follow(); }, m_needs.setUpTimeout,
          [this] { fail(Step::listening, m_server->timedOut()); }),
      m_deadline(*m_server), m_retry(*m_server)
{}

std::optional<MeterError> SoundCapture::open()
{
    std::optional<MeterError> failure;
    m_server->locked([this, &failure] {
        // The main thread keeps a deadline of its own: whatever the audio thread does meanwhile
        // (moving to another output, waiting for one), the start returns within it.
        const auto deadline = m_server->now() + m_needs.setUpTimeout;
        beginAttempt();
        if (!m_server->await(deadline, [this] { return m_state != State::starting; }))
            fail(currentStep(), m_server->timedOut());
        failure = m_failure;
    });
    return failure;
}

void SoundCapture::close() noexcept
{
    // The state is read under the lock too: the audio thread may be failing or reconnecting at
    // this very moment. Once torn down, the capture has nothing left on the server's loop, so no
    // callback of ours can run again, whenever the server's thread ends.
    m_server->locked([this] {
        if (m_state == State::closed)
            return;
        tearDown();
        m_state = State::closed;
    });
}

void SoundCapture::beginAttempt()
{
    armDeadline();
    const auto refused = m_server->connect(
        {.ready =
             [this] {
                 if (m_state == State::starting || m_state == State::reconnecting)
                     lookUp();
             },
         .lost = [this](const Failure& failure) { fail(currentStep(), failure); },
         .changed = [this](SoundServer::Change change,
                           std::uint32_t index) { eventArrived(change, index); }});
    if (refused)
        fail(Step::creatingTap, *refused);
}

void SoundCapture::lookUp()
{
    m_lookup.begin();
}

void SoundCapture::openRecorder(const SoundServer::Sink& sink, const std::string& name)
{
    m_sinkName = name;
    if (const auto refused = m_recorder.open(sink, m_state != State::moving))
        outputFailed(refused->step, refused->failure);
}

void SoundCapture::outputFailed(Step step, const Failure& failure)
{
    if ((m_state == State::moving || m_state == State::reconnecting) &&
        step == Step::readingSpeakerId)
        awaitOutput();
    else
        fail(step, failure);
}

void SoundCapture::awaitOutput()
{
    // While outputs come and go the server can name a default that is already gone, or none
    // at all (PipeWire names "@DEFAULT_SINK@" then), until its policy has chosen the next; a
    // server that comes back can too. That is no lost capture: the output watch moves on when
    // the server names another, without retrying on a timer. Meanwhile no levels come, so the
    // main thread is told, as for a pause, and may sleep.
    const bool afterLoss = m_state == State::reconnecting;
    m_state = State::awaitingOutput;
    m_deadline.cancel();
    m_recorder.waitWithoutStream();
    if (afterLoss) {
        // The server is back; only the output is missing. Its events are what ends the wait.
        m_server->subscribe();
        m_needs.interrupted(std::nullopt);
    }
    m_output.follow(m_lookup.name(), OutputWatch::noSink);
}

void SoundCapture::recorderReady()
{
    if (m_state != State::starting && m_state != State::moving && m_state != State::reconnecting)
        return;
    const bool back = m_state == State::reconnecting;
    // From here on a failure means reconnecting, not a failed start, whenever open() looks.
    m_state = State::streaming;
    m_deadline.cancel();
    // Listening again: whether or not anything plays yet, the capture is back.
    if (back)
        m_needs.interrupted(std::nullopt);
    m_server->subscribe();
    m_playback.begin(m_recorder.sinkIndex());
    m_output.follow(m_sinkName, m_recorder.sinkIndex());
}

void SoundCapture::recorderEnded(const Failure& failure, bool connectionLost)
{
    // The server ends a record stream whose monitor went away (its sink was unplugged) while
    // the connection lives on: the capture moves to the default output instead. A stream that
    // ends before it recorded, on the way to an output, is waited on like a missing output.
    if (connectionLost)
        fail(currentStep(), failure);
    else if (m_state == State::streaming)
        follow();
    else if (m_state == State::moving || m_state == State::reconnecting)
        awaitOutput();
    else
        fail(currentStep(), failure);
}

void SoundCapture::follow()
{
    m_playback.end();
    m_output.end();
    m_recorder.close();
    m_state = State::moving;
    armDeadline();
    lookUp();
}

void SoundCapture::eventArrived(SoundServer::Change change, std::uint32_t index)
{
    if (m_state != State::streaming && m_state != State::awaitingOutput)
        return;
    using Change = SoundServer::Change;
    if (change == Change::playerAdded || change == Change::playerChanged ||
        change == Change::playerRemoved)
        m_playback.changed(change);
    else
        m_output.changed(change, index);
}

void SoundCapture::fail(Step step, const Failure& failure)
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
        m_failure = failureOf(step, failure);
        return;
    }
    // The loss is reported once, not again for each attempt that fails while reconnecting.
    if (m_state != State::reconnecting)
        m_needs.interrupted(failureOf(Step::listening, failure));
    m_state = State::lost;
    // A failed context cannot be reused: drop it and connect afresh a while later.
    m_retry.arm(m_needs.retryInterval, [this] {
        tearDown();
        m_state = State::reconnecting;
        beginAttempt();
    });
}

void SoundCapture::tearDown() noexcept
{
    m_deadline.cancel();
    m_retry.cancel();
    m_lookup.cancel();
    m_playback.end();
    m_output.end();
    // Reverse order of creation: the stream, then the context it lives on.
    m_recorder.close();
    m_server->disconnect();
}

void SoundCapture::armDeadline()
{
    m_deadline.arm(m_needs.setUpTimeout, [this] { fail(currentStep(), m_server->timedOut()); });
}

Step SoundCapture::currentStep() const
{
    if (m_state != State::starting)
        return Step::listening;
    if (const auto step = m_lookup.step())
        return *step;
    if (m_recorder.isOpen())
        return Step::startingAudio;
    return Step::creatingTap;
}
