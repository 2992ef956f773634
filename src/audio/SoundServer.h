#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// What the capture asks of the sound server and hears from it, and nothing more: one connection
// at a time, the default sink and a sink's description, the playback streams, one record stream,
// and the loop everything runs on. The client library stands behind it in the program; the tests
// put a scripted server driven by a hand-stepped clock in its place.
//
// Threads: the server's own thread (the audio thread) runs every handler, answer and timer, with
// the loop's lock held; it starts with the first connection and ends with the server. Another
// thread makes its requests through locked(), and never holds the lock while it waits for the
// main thread.
class SoundServer {
public:
    using Clock = std::chrono::steady_clock;

    // A failure in the server's own terms: its status code (0 where a call succeeded but gave
    // nothing usable) and its words for that code, where it has any. The capture passes both on
    // to the user as they are; only the server knows what the numbers mean.
    struct Failure {
        std::int32_t status = 0;
        std::string words;
    };

    // Subscribed events.
    enum class Change {
        sinkAdded,
        sinkRemoved,
        serverChanged,
        playerAdded,
        playerChanged,
        playerRemoved
    };

    struct Events {
        // The connection can take requests.
        std::function<void()> ready;
        // The connection failed or the server closed it.
        std::function<void(const Failure& failure)> lost;
        // A subscribed event, with the index of the sink or player it concerns.
        std::function<void(Change change, std::uint32_t index)> changed;
    };

    struct Sink {
        std::uint32_t index = 0;
        // Empty when the sink has none.
        std::string monitor;
        std::uint32_t channels = 0;
        std::uint32_t rate = 0;
        // Where each channel sits (front left, LFE...), in the server's own numbering; the
        // stream records in the same order, so the server need not remix (and drop the LFE).
        std::vector<int> positions;
    };

    // A playback stream: the sink it plays on, and whether it is paused.
    struct Player {
        std::uint32_t sink = 0;
        bool corked = false;
    };

    // The record stream's timing, as the server last brought it up to date: how long a sample
    // takes from the monitor to the ear (the sink's latency), and from the monitor to the stream's
    // reader (the source's, the transport's and what waits in the stream's buffer).
    struct Timing {
        std::chrono::microseconds output{0};
        std::chrono::microseconds stream{0};
    };

    struct StreamEvents {
        // The record stream records.
        std::function<void()> ready;
        // It failed, or the server ended it (its monitor went away); and whether the connection
        // is lost with it.
        std::function<void(const Failure& failure, bool connectionLost)> ended;
        // Audio waits to be read.
        std::function<void()> readable;
        // The server brought the stream's timing up to date (answering askTiming()).
        std::function<void(const Timing& timing)> timed;
    };

    // Answers. A failed request answers with nothing and its failure; a sink that is not there
    // with nothing and a "no such entity" failure; a server without a default with "".
    using DefaultSinkAnswer =
        std::function<void(std::optional<std::string> name, const Failure& failure)>;
    using SinkAnswer = std::function<void(std::optional<Sink> sink, const Failure& failure)>;
    using PlayersAnswer = std::function<void(std::optional<std::vector<Player>> players)>;
    // A chunk of the record stream: its bytes (no data, a size: that much silence).
    using Reader = std::function<void(const void* data, std::size_t bytes)>;

    using TimerId = std::uint64_t;

    virtual ~SoundServer() = default;

    // Not on the server's thread: runs the work with the loop's lock held.
    virtual void locked(const std::function<void()>& work) = 0;
    // Inside locked(): lets the server's thread run until `done` holds or the moment has passed,
    // and says whether it holds. `done` is asked with the lock held, at once and again after each
    // handler, answer or timer the server has run.
    virtual bool await(Clock::time_point deadline, const std::function<bool()>& done) = 0;
    // The clock the timers and the capture's reckoning of sound and silence go by.
    virtual Clock::time_point now() const = 0;
    // One-shot timers on the server's thread; 0 is never an id.
    virtual TimerId arm(Clock::duration delay, std::function<void()> fire) = 0;
    virtual void cancel(TimerId timer) noexcept = 0;
    // The failure to report when the capture gives up waiting for the server.
    virtual Failure timedOut() const = 0;

    // The connection. connect() drops any earlier one and begins a new one: nothing, or the
    // failure when it cannot even begin (nor can the server's thread). disconnect() drops it
    // without a word to the handlers, and every answer still owed with it.
    virtual std::optional<Failure> connect(Events events) = 0;
    virtual void disconnect() noexcept = 0;
    // Asks for sink, server and playback events; whether the request went.
    virtual bool subscribe() = 0;
    // Requests, answered later on the server's thread: nothing when the request went, else why
    // it did not.
    virtual std::optional<Failure> askDefaultSink(DefaultSinkAnswer answer) = 0;
    virtual std::optional<Failure> askSink(const std::string& name, SinkAnswer answer) = 0;
    virtual std::optional<Failure> askPlayers(PlayersAnswer answer) = 0;

    // The record stream "Beamwick Listener", float samples in the sink's channels and rate, on
    // its monitor; at most one. The failure, if any, and whether creating (not connecting)
    // failed.
    struct Opened {
        std::optional<Failure> failure = std::nullopt;
        bool creating = false;
        // The stream's own rate (0 when unknown) and channels.
        std::uint32_t rate = 0;
        std::uint32_t channels = 0;
    };
    virtual Opened openStream(const Sink& sink, StreamEvents events) = 0;
    virtual void closeStream() noexcept = 0;
    virtual void cork(bool paused) = 0;
    // Asks for the record stream's timing, answered by its `timed` event; whether the request
    // went.
    virtual bool askTiming() = 0;
    // Hands the next chunk read, if any, to `take` and then lets it go; whether there was one.
    virtual bool read(const Reader& take) = 0;
};
