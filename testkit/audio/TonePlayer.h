#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Plays interleaved float32 audio at 48 kHz (stereo, or in the channels of a map given in
// libpulse's words, e.g. "front-left,front-right,lfe") into a server's default sink from a
// thread of its own, with a short playback buffer, and notes when each piece was handed over so
// that the moment any frame left the sink can be estimated afterwards.
class TonePlayer {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    static constexpr int rate = 48000;

    // A longer buffer keeps the audio whole on a loaded machine, as music players do; a short
    // one pins down when each frame is played.
    TonePlayer(std::string server, std::vector<float> samples,
               std::chrono::milliseconds buffer = std::chrono::milliseconds(20),
               std::string channelMap = {});
    // Stops early if still playing.
    ~TonePlayer();

    TonePlayer(const TonePlayer&) = delete;
    TonePlayer& operator=(const TonePlayer&) = delete;

    // Waits until everything has been played (or playback failed).
    void wait();
    // Whether playback has ended, without waiting.
    bool finished() const { return m_finished; }
    // After wait(): whether the whole buffer was played.
    bool succeeded() const { return m_succeeded; }
    // After wait(): the estimated moment the given frame came out of the sink.
    std::optional<TimePoint> playedAt(std::size_t frame) const;

private:
    struct Handover {
        std::size_t endFrame;
        TimePoint at;
        std::chrono::microseconds latency;
    };

    void run();

    std::string m_server;
    std::vector<float> m_samples;
    std::chrono::milliseconds m_buffer;
    std::string m_channelMap;
    std::vector<Handover> m_handovers;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_finished{false};
    bool m_succeeded = false;
    std::thread m_thread;
};

// Test signals, interleaved stereo at TonePlayer::rate.
std::vector<float> toneSamples(double frequency, double amplitude, double seconds);
std::vector<float> silenceSamples(double seconds);
// A short decaying 55 Hz thump, like a kick drum, at each of the given start times (seconds).
std::vector<float> kickTrack(const std::vector<double>& starts, double seconds);
// Stereo samples moved into one channel of `channels`, the others silent.
std::vector<float> inOneChannel(const std::vector<float>& stereo, std::size_t channel,
                                std::size_t channels);
// A drum-like track made with sox in the given directory: a kick on every beat at 120 per
// minute with one left out and one pushed off the beat, closed hi-hats between the beats, and
// hiss above the bass. Empty if sox failed.
std::vector<float> drumTrack(const std::string& directory, double seconds);
