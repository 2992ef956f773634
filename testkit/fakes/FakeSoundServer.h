#pragma once

#include "audio/SoundServer.h"
#include "testkit/fakes/FakeClock.h"

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

// A sound server played by the test, on the test's thread and its hand-stepped clock. It keeps a
// world (sinks, the default, players, whether the server is up) that the test changes, tells a
// subscribed connection of each change, and answers requests after a delay per kind of request
// (answers of one kind in the order asked, kinds overtaking each other). Nothing happens until
// the test lets time pass (advance()), or the capture waits (await()), which runs the server up
// to its deadline.
class FakeSoundServer final : public SoundServer {
public:
    enum class Ask { defaultSink, sink, players };
    struct Stream {
        std::string monitor;
        std::uint32_t sink = 0;
        bool ready = false;
        bool corked = false;
        // When it began to record, and when it was last corked or uncorked.
        Clock::time_point since;
        Clock::time_point corkedAt;
    };
    struct Sink {
        std::string name;
        std::uint32_t index;
    };

    explicit FakeSoundServer(FakeClock& clock) : m_clock(clock) {}

    // The world. Names of sinks are unique; their monitors are "<name>.monitor".
    void addSink(const std::string& name);
    // Its record stream is killed; its players move to the default, or go with it.
    void removeSink(const std::string& name);
    // The name need not be a sink's.
    void setDefault(const std::string& name);
    void loseServer();
    void restoreServer() { m_up = true; }
    // A player on the sink of that name; its id (the first is 100, the next 101, ...).
    std::uint32_t addPlayer(const std::string& sink, bool corked);
    void removePlayer(std::uint32_t id);
    void corkPlayer(std::uint32_t id, bool corked);
    // Ends the record stream, if it records, as a user's kill would.
    void killStream();
    void suspendStream(bool suspended) { m_suspended = suspended; }
    void setDelay(Ask ask, Clock::duration delay) { m_delay[static_cast<int>(ask)] = delay; }
    // The connection of the moment stops answering requests of that kind for a while: those
    // asked meanwhile are answered when it ends, if the connection lasts that long. A new
    // connection answers at once.
    void hang(Ask ask, Clock::duration hang)
    {
        m_hungUntil[static_cast<int>(ask)] = m_clock.now() + hang;
        m_hungConnection[static_cast<int>(ask)] = m_connections;
    }
    // The next such request fails so (the sink is described without a monitor).
    enum class Refusal {
        none,
        defaultSink,
        monitor,
        streamCreation,
        streamConnection,
        streamReady
    };
    void refuseNext(Refusal refusal, Failure failure)
    {
        m_refusal = refusal;
        m_refusalFailure = std::move(failure);
    }
    bool connected() const { return m_connection != Connection::none; }
    // One block of 512 frames of a 60 Hz tone (silence at 0) into the record stream, if it
    // records and is neither corked nor suspended; whether it went in.
    bool feed(float amplitude);
    // The timing the server gives from now on when asked.
    void setTiming(Timing timing) { m_timing = timing; }
    const Timing& timing() const { return m_timing; }
    // Lets time pass, running whatever falls due meanwhile.
    void advance(Clock::duration by);

    // What the test observes.
    const std::vector<Sink>& sinks() const { return m_sinks; }
    const std::string& defaultName() const { return m_default; }
    bool up() const { return m_up; }
    const std::optional<Stream>& stream() const { return m_stream; }
    int timingAsks = 0;
    // Whether a player plays on the sink of that index.
    bool playing(std::uint32_t sink) const;
    // Timers armed by the capture: wake-ups of the audio thread to come.
    std::size_t armedTimers() const;
    std::optional<std::uint32_t> sinkIndex(const std::string& name) const;
    bool hasSink(std::uint32_t index) const;

    void locked(const std::function<void()>& work) override { work(); }
    bool await(Clock::time_point deadline, const std::function<bool()>& done) override;
    Clock::time_point now() const override { return m_clock.now(); }
    TimerId arm(Clock::duration delay, std::function<void()> fire) override;
    void cancel(TimerId timer) noexcept override;
    Failure timedOut() const override { return kTimeout; }
    std::optional<Failure> connect(Events events) override;
    void disconnect() noexcept override;
    bool ready() const { return m_connection == Connection::ready; }
    bool subscribe() override { return m_subscribed = ready(); }
    std::optional<Failure> askDefaultSink(DefaultSinkAnswer answer) override;
    std::optional<Failure> askSink(const std::string& name, SinkAnswer answer) override;
    std::optional<Failure> askPlayers(PlayersAnswer answer) override;
    Opened openStream(const SoundServer::Sink& sink, StreamEvents events) override;
    void closeStream() noexcept override;
    void cork(bool paused) override;
    bool askTiming() override;
    bool read(const Reader& take) override;

private:
    // The failures of the server's own making, numbered and worded as the client library does.
    static inline const Failure kNoEntity{5, "No such entity"};
    static inline const Failure kRefused{6, "Connection refused"};
    static inline const Failure kTimeout{8, "Timeout"};
    static inline const Failure kTerminated{11, "Connection terminated"};
    static inline const Failure kKilled{12, "Entity killed"};
    static inline const Failure kBadState{15, "Bad state"};

    enum class Connection { none, connecting, ready, failed };
    // What runs when due: a timer (id), or something the connection (or its stream) is owed.
    struct Due {
        TimerId timer = 0;
        std::uint64_t connection = 0;
        std::uint64_t stream = 0;
        std::function<void()> work;
    };
    using Queue = std::map<std::pair<Clock::time_point, std::uint64_t>, Due>;

    void schedule(Clock::duration delay, Due due);
    std::optional<Failure> answer(Ask ask, std::function<void()> work);
    void tell(Change change, std::uint32_t index);
    void endStream(Failure failure);
    bool runNext(Clock::time_point until);
    std::optional<SoundServer::Sink> describe(const std::string& name);

    FakeClock& m_clock;
    std::vector<Sink> m_sinks;
    std::map<std::uint32_t, Player> m_players;
    std::string m_default;
    std::uint32_t m_lastIndex = 0;
    std::uint32_t m_lastPlayer = 99;
    bool m_up = true;
    bool m_suspended = false;
    Refusal m_refusal = Refusal::none;
    Failure m_refusalFailure;
    // Whether the next request of that kind is the refused one; spends the refusal.
    bool refused(Refusal refusal);
    Clock::duration m_delay[3] = {};
    Clock::time_point m_hungUntil[3] = {};
    std::uint64_t m_hungConnection[3] = {};
    Clock::time_point m_lastAnswer[3] = {};

    Queue m_queue;
    std::uint64_t m_order = 0;
    TimerId m_lastTimer = 0;
    Connection m_connection = Connection::none;
    std::uint64_t m_connections = 0;
    Events m_events;
    bool m_subscribed = false;
    Failure m_error;
    std::optional<Stream> m_stream;
    std::uint64_t m_streams = 0;
    StreamEvents m_streamEvents;
    Timing m_timing;
    std::deque<std::vector<float>> m_chunks;
};
