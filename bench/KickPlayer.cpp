// kick_player: plays the kick track into the default sink and prints, for every kick, the
// monotonic moment its first frame was played, as the stream's own timing reports it (the
// position being played, latency-corrected), not when it was queued.
//
//   kick_player [--seconds S] [--bpm B] [--lead-in S] [--buffer-ms MS]
//   → "onset <index> <frame> <monotonic ns>" per kick, then "played <frames> underruns <n>"
#include "harness/KickTrack.h"
#include "harness/PlaybackClock.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pulse/pulseaudio.h>
#include <string>
#include <thread>
#include <time.h>
#include <vector>

namespace {

constexpr int kRate = 48000;
constexpr int kChannels = 2;

std::int64_t monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

struct Player {
    explicit Player(const KickTrack& track) : track(track) {}

    const KickTrack& track;
    double bufferMs = 20.0;
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    std::int64_t written = 0;
    int underruns = 0;
    bool draining = false;
    std::atomic<bool> drained{false};
    std::atomic<bool> failed{false};
    std::vector<float> scratch;
};

void contextState(pa_context* context, void* data)
{
    auto* player = static_cast<Player*>(data);
    const auto state = pa_context_get_state(context);
    if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED)
        player->failed = true;
    pa_threaded_mainloop_signal(player->loop, 0);
}

void streamState(pa_stream* stream, void* data)
{
    auto* player = static_cast<Player*>(data);
    const auto state = pa_stream_get_state(stream);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED)
        player->failed = true;
    pa_threaded_mainloop_signal(player->loop, 0);
}

void drainDone(pa_stream*, int success, void* data)
{
    auto* player = static_cast<Player*>(data);
    if (!success)
        player->failed = true;
    player->drained = true;
    pa_threaded_mainloop_signal(player->loop, 0);
}

void writable(pa_stream* stream, std::size_t bytes, void* data)
{
    auto* player = static_cast<Player*>(data);
    const std::int64_t left = player->track.frames() - player->written;
    const std::size_t frameBytes = kChannels * sizeof(float);
    const auto frames = static_cast<std::int64_t>(bytes / frameBytes) < left
                            ? static_cast<std::int64_t>(bytes / frameBytes)
                            : left;
    if (frames > 0) {
        player->scratch.resize(static_cast<std::size_t>(frames) * kChannels);
        player->track.render(player->written, player->scratch);
        if (pa_stream_write(stream, player->scratch.data(), player->scratch.size() * sizeof(float),
                            nullptr, 0, PA_SEEK_RELATIVE) < 0) {
            player->failed = true;
            return;
        }
        player->written += frames;
    }
    if (player->written >= player->track.frames() && !player->draining) {
        player->draining = true;
        if (pa_operation* op = pa_stream_drain(stream, drainDone, player))
            pa_operation_unref(op);
        else
            player->failed = true;
    }
}

void underflow(pa_stream*, void* data)
{
    ++static_cast<Player*>(data)->underruns;
}

double argument(int argc, char** argv, const char* name, double fallback)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return std::atof(argv[i + 1]);
    return fallback;
}

bool waitReady(Player& player)
{
    // Called with the lock held; the loop's thread signals on every state change.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!player.failed && std::chrono::steady_clock::now() < deadline) {
        if (pa_context_get_state(player.context) == PA_CONTEXT_READY &&
            (!player.stream || pa_stream_get_state(player.stream) == PA_STREAM_READY))
            return true;
        pa_threaded_mainloop_unlock(player.loop);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        pa_threaded_mainloop_lock(player.loop);
    }
    return false;
}

int play(Player& player, PlaybackClock& clock)
{
    player.loop = pa_threaded_mainloop_new();
    if (!player.loop || pa_threaded_mainloop_start(player.loop) < 0)
        return 1;
    pa_threaded_mainloop_lock(player.loop);
    player.context = pa_context_new(pa_threaded_mainloop_get_api(player.loop), "kick_player");
    pa_context_set_state_callback(player.context, contextState, &player);
    if (pa_context_connect(player.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        !waitReady(player)) {
        std::fprintf(stderr, "kick_player: cannot connect to the sound server: %s\n",
                     pa_strerror(pa_context_errno(player.context)));
        pa_threaded_mainloop_unlock(player.loop);
        return 1;
    }

    const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, kRate, kChannels};
    player.stream = pa_stream_new(player.context, "kick track", &format, nullptr);
    pa_stream_set_state_callback(player.stream, streamState, &player);
    pa_stream_set_write_callback(player.stream, writable, &player);
    pa_stream_set_underflow_callback(player.stream, underflow, &player);
    // By default a short buffer, as a music player asking for low latency keeps: 20 ms.
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = static_cast<std::uint32_t>(
        pa_usec_to_bytes(static_cast<pa_usec_t>(player.bufferMs * 1000.0), &format));
    attributes.prebuf = static_cast<std::uint32_t>(-1);
    attributes.minreq = static_cast<std::uint32_t>(-1);
    attributes.fragsize = static_cast<std::uint32_t>(-1);
    const auto flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(player.stream, nullptr, &attributes, flags, nullptr, nullptr) <
            0 ||
        !waitReady(player)) {
        std::fprintf(stderr, "kick_player: cannot start playback: %s\n",
                     pa_strerror(pa_context_errno(player.context)));
        pa_threaded_mainloop_unlock(player.loop);
        return 1;
    }

    // Note (monotonic, stream position) pairs every millisecond until everything has been
    // played, asking for fresh timing data every 20 ms so the interpolation never runs far.
    const double seconds = static_cast<double>(player.track.frames()) / kRate;
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<long>(seconds * 1000.0 + 10'000.0));
    std::int64_t lastUpdate = 0;
    while (!player.drained && !player.failed && std::chrono::steady_clock::now() < deadline) {
        pa_usec_t position = 0;
        if (pa_stream_get_time(player.stream, &position) >= 0)
            clock.note(monotonicNs(), static_cast<std::int64_t>(position));
        if (monotonicNs() - lastUpdate > 20'000'000) {
            lastUpdate = monotonicNs();
            if (pa_operation* op = pa_stream_update_timing_info(player.stream, nullptr, nullptr))
                pa_operation_unref(op);
        }
        pa_threaded_mainloop_unlock(player.loop);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        pa_threaded_mainloop_lock(player.loop);
    }
    const bool ok = player.drained && !player.failed;
    pa_stream_disconnect(player.stream);
    pa_stream_unref(player.stream);
    pa_context_disconnect(player.context);
    pa_context_unref(player.context);
    pa_threaded_mainloop_unlock(player.loop);
    pa_threaded_mainloop_stop(player.loop);
    pa_threaded_mainloop_free(player.loop);
    if (!ok)
        std::fprintf(stderr, "kick_player: playback did not finish\n");
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    KickTrack::Shape shape;
    shape.rate = kRate;
    shape.channels = kChannels;
    shape.seconds = argument(argc, argv, "--seconds", 10.0);
    shape.bpm = argument(argc, argv, "--bpm", 120.0);
    shape.leadInSeconds = argument(argc, argv, "--lead-in", 1.0);
    const KickTrack track(shape);

    Player player(track);
    player.bufferMs = argument(argc, argv, "--buffer-ms", 20.0);
    PlaybackClock clock;
    const int result = play(player, clock);
    if (result != 0)
        return result;

    int index = 0;
    for (const std::int64_t onset : track.onsets()) {
        const std::int64_t positionUs = onset * 1'000'000 / kRate;
        if (const auto played = clock.playedAt(positionUs))
            std::printf("onset %d %lld %lld\n", index, static_cast<long long>(onset),
                        static_cast<long long>(*played));
        else
            std::printf("onset %d %lld unknown\n", index, static_cast<long long>(onset));
        ++index;
    }
    std::printf("played %lld underruns %d\n", static_cast<long long>(player.written),
                player.underruns);
    return 0;
}
