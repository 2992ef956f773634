#pragma once

#include "audio/AudioMeter.h"
#include "audio/BassDetector.h"
#include "audio/BlockAssembler.h"
#include "audio/LevelHandOff.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <pulse/def.h>
#include <string>

struct pa_context;
struct pa_server_info;
struct pa_sink_info;
struct pa_sink_input_info;
struct pa_stream;
struct pa_threaded_mainloop;
struct pa_time_event;

// The meter on the PulseAudio client library (which PipeWire desktops serve as well): a record
// stream "Beamwick Listener" on the monitor of the default sink, read on the client library's
// own thread "beamwick.audio". The server's chunks are gathered into blocks of 512 frames, one
// detector measurement and one main-thread task each. Once nothing has played on that sink for
// half a second the stream is corked, so neither this process nor the sound device is kept awake
// for silence. If the sound server goes away while listening, the meter says so through the
// interruption callback and reconnects by itself until audio flows again.
class PulseAudioMeter final : public AudioMeter {
public:
    struct Options {
        // The server to connect to; empty for the user's own (as the client library finds it).
        std::string server;
        // How long one connection attempt may take before its current step fails.
        std::chrono::milliseconds setUpTimeout{5000};
        // The wait between reconnection attempts after the server went away.
        std::chrono::milliseconds retryInterval{2000};
    };

    PulseAudioMeter();
    explicit PulseAudioMeter(Options options);
    // Stops capture: the audio thread must not outlive the object it calls into.
    ~PulseAudioMeter() override;

    PulseAudioMeter(const PulseAudioMeter&) = delete;
    PulseAudioMeter& operator=(const PulseAudioMeter&) = delete;

    void setOnLevel(LevelCallback callback) override { m_handOff.setCallback(std::move(callback)); }
    void setOnInterruption(InterruptionCallback callback) override;
    void setOnActivity(ActivityCallback callback) override;

    void start() override;
    void stop() noexcept override;
    bool isRunning() const override { return m_loop != nullptr; }

private:
    enum class Phase {
        idle,
        connecting,
        readingServer,
        readingSink,
        startingStream,
        streaming,
        failed
    };

    // Everything below runs with the main loop's lock held: on the audio thread inside the
    // client library's callbacks, or on the main thread inside start() and stop().
    void beginAttempt();
    void readServerInfo();
    void readSinkInfo(const pa_server_info* info);
    void createStream(const pa_sink_info* info);
    void fail(const char* step, int status);
    void connectionLost(int status);
    void tearDownConnection() noexcept;
    void scheduleRetry();
    void retry();
    void armDeadline();
    void freeDeadline() noexcept;
    void readChunks();
    void deliverChunk(const void* data, std::size_t bytes);
    void measure(const AudioBuffer& block);
    void postInterruption(std::optional<MeterError> lost);
    void postActivity(bool flowing);
    void watchPlayback();
    // Asks for a listing of the playback streams, the one that confirms nothing plays or an
    // ordinary one; whether it could.
    bool checkPlayback(bool confirming = false);
    void listed(const pa_sink_input_info* info, int eol, bool confirming);
    void playbackFound(bool playing, bool confirming);
    void armQuietCheck();
    void freeQuietCheck() noexcept;
    void setCorked(bool corked);
    const char* currentStep() const;

    static void contextStateChanged(pa_context* context, void* self) noexcept;
    static void serverInfoArrived(pa_context* context, const pa_server_info* info,
                                  void* self) noexcept;
    static void sinkInfoArrived(pa_context* context, const pa_sink_info* info, int eol,
                                void* self) noexcept;
    static void streamStateChanged(pa_stream* stream, void* self) noexcept;
    static void streamReadable(pa_stream* stream, std::size_t bytes, void* self) noexcept;
    static void playbackChanged(pa_context* context, pa_subscription_event_type_t event,
                                std::uint32_t index, void* self) noexcept;
    static void playbackListed(pa_context* context, const pa_sink_input_info* info, int eol,
                               void* self) noexcept;
    // The listing asked for once the grace after finding nothing playing has run out.
    static void quietConfirmed(pa_context* context, const pa_sink_input_info* info, int eol,
                               void* self) noexcept;

    Options m_options;
    LevelHandOff m_handOff;
    InterruptionCallback m_onInterruption;
    ActivityCallback m_onActivity;
    // Main thread only; present exactly while the meter is started.
    pa_threaded_mainloop* m_loop = nullptr;
    // Written by start() under the lock; lets the main thread drop reports of an earlier run.
    std::uint64_t m_generation = 0;

    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    pa_time_event* m_deadline = nullptr;
    pa_time_event* m_retry = nullptr;
    Phase m_phase = Phase::idle;
    // Set once start() has succeeded: from then on a failure means reconnecting, not throwing.
    bool m_established = false;
    // The loss has been reported and the recovery not yet.
    bool m_lost = false;
    std::optional<MeterError> m_failure;
    std::uint32_t m_channels = 0;
    float m_rate = 0;
    // The sink whose monitor is recorded: only streams playing there make a sound to follow.
    std::uint32_t m_sinkIndex = 0;
    // Corked because nothing plays; reported to the main thread as not flowing.
    bool m_corked = false;
    // Where the pause's unmeasured silence begins: at the cork request, after the silence that
    // completed the last block.
    std::chrono::steady_clock::time_point m_corkedAt;
    // Gathered over one listing of the server's playback streams.
    bool m_playbackSeen = false;
    // Runs out a grace after a listing found nothing playing; then the listing that confirms it
    // is under way.
    pa_time_event* m_quietCheck = nullptr;
    bool m_confirmingQuiet = false;
    BlockAssembler m_assembler;
    BassDetector m_detector;
};
