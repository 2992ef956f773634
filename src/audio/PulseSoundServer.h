#pragma once

#include "audio/PulseHandles.h"
#include "audio/SoundServer.h"

#include <condition_variable>
#include <list>
#include <map>
#include <mutex>
#include <pulse/introspect.h>
#include <pulse/thread-mainloop.h>
#include <utility>

// The sound server through the PulseAudio client library (PipeWire desktops serve the same
// protocol): its threaded loop, whose thread is the audio thread, one context on it at a time and
// one record stream on that context. A context that failed cannot be reused, so reconnecting
// means dropping it and connecting anew on the same loop.
class PulseSoundServer final : public SoundServer {
public:
    // The server to connect to; empty for the user's own. The loop's thread gets that name.
    PulseSoundServer(std::string server, std::string threadName);
    // Joins the loop's thread, then releases the stream, the context and the loop.
    ~PulseSoundServer() override;

    PulseSoundServer(const PulseSoundServer&) = delete;
    PulseSoundServer& operator=(const PulseSoundServer&) = delete;

    void locked(const std::function<void()>& work) override;
    bool await(Clock::time_point deadline, const std::function<bool()>& done) override;
    Clock::time_point now() const override { return Clock::now(); }
    TimerId arm(Clock::duration delay, std::function<void()> fire) override;
    void cancel(TimerId timer) noexcept override;
    Failure timedOut() const override;

    std::optional<Failure> connect(Events events) override;
    void disconnect() noexcept override;
    bool subscribe() override;
    std::optional<Failure> askDefaultSink(DefaultSinkAnswer answer) override;
    std::optional<Failure> askSink(const std::string& name, SinkAnswer answer) override;
    std::optional<Failure> askPlayers(PlayersAnswer answer) override;

    Opened openStream(const Sink& sink, StreamEvents events) override;
    void closeStream() noexcept override { m_stream.reset(); }
    void cork(bool paused) override;
    bool askTiming() override;
    bool read(const Reader& take) override;

private:
    // An answer still owed: what to call, and what a listing gathered so far.
    struct Request {
        PulseSoundServer* server = nullptr;
        DefaultSinkAnswer defaultSink;
        SinkAnswer sink;
        PlayersAnswer players;
        std::vector<Player> listed;
        std::optional<Sink> found;
        std::list<Request>::iterator self;
    };
    struct Timer {
        PulseSoundServer* server = nullptr;
        TimerId id;
        pa_time_event* event;
        std::function<void()> fire;
    };

    bool ready() const;
    bool startThread();
    void stopThread() noexcept;
    // Without a loop (it could not be made) there is nothing to lock, and no thread starts.
    void lock()
    {
        if (m_loop)
            pa_threaded_mainloop_lock(m_loop);
    }
    void unlock()
    {
        if (m_loop)
            pa_threaded_mainloop_unlock(m_loop);
    }
    // Runs one callback's work, guarded, then lets a thread in await() ask again.
    template <typename Work> void dispatch(Work&& work) noexcept
    {
        guarded(std::forward<Work>(work));
        guarded([this] { wake(); });
    }
    void wake();

    Request* owe();
    void settle(Request* request) { m_requests.erase(request->self); }
    // Nothing when the server took the request, else why not; one it refused is owed nothing.
    std::optional<Failure> sent(Request* request, pa_operation* operation);
    // The library's error code of the moment, and a code as the seam tells it.
    int error() const;
    static Failure failure(int status);

    static void contextChanged(pa_context* context, void* self) noexcept;
    static void eventArrived(pa_context* context, pa_subscription_event_type_t event,
                             std::uint32_t index, void* self) noexcept;
    static void serverInfoArrived(pa_context* context, const pa_server_info* info,
                                  void* request) noexcept;
    static void sinkInfoArrived(pa_context* context, const pa_sink_info* info, int eol,
                                void* request) noexcept;
    static void playerArrived(pa_context* context, const pa_sink_input_info* info, int eol,
                              void* request) noexcept;
    static void streamChanged(pa_stream* stream, void* self) noexcept;
    static void streamReadable(pa_stream* stream, std::size_t bytes, void* self) noexcept;
    static void streamTimed(pa_stream* stream, void* self) noexcept;
    static void expired(pa_mainloop_api* api, pa_time_event* event, const timeval* when,
                        void* timer) noexcept;

    std::string m_server;
    std::string m_threadName;
    pa_threaded_mainloop* m_loop;
    bool m_threadRuns = false;
    Events m_events;
    StreamEvents m_streamEvents;
    std::list<Request> m_requests;
    std::map<TimerId, Timer> m_timers;
    TimerId m_lastTimer = 0;
    // Declared after what their callbacks use, so they go first.
    ContextHandle m_context;
    StreamHandle m_stream;
    // Whether a thread is in await(); loop's lock held.
    bool m_awaiting = false;
    // Taken without the loop's lock by the waiting thread, with it by the loop's thread.
    std::mutex m_signalMutex;
    std::condition_variable m_signalled;
    bool m_signal = false;
};
