// floor_client: the least a program can do to flash on the bass of what the computer plays, for
// the side-by-side figure. One thread, libpulse's plain main loop: it records the monitor of the
// default sink in 512-frame fragments, gathers blocks of exactly 512 frames, runs Beamwick's own
// BassDetector on each and judges it with the beat rule, and does nothing else (no event loop of
// a toolkit, no hand-off to another thread, no timer, no light). Runs until SIGTERM or SIGINT.
//
//   floor_client   → "beats <n> blocks <n>" on stdout when it ends
#include "audio/BassDetector.h"
#include "audio/BlockAssembler.h"
#include "control/BeatRule.h"

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <pulse/pulseaudio.h>

namespace {

// Judged by Beamwick's own beat rule, at the sensitivity Beamwick starts with.
constexpr double kSensitivity = 1.5;

struct Floor {
    pa_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    BassDetector detector;
    BlockAssembler assembler;
    std::chrono::steady_clock::time_point lastBeat{};
    long beats = 0;
    long blocks = 0;
};

void judge(Floor& floor, const BassDetector::Level& level)
{
    ++floor.blocks;
    const auto now = std::chrono::steady_clock::now();
    const double since = std::chrono::duration<double>(now - floor.lastBeat).count();
    if (!beat_rule::accepts(level.bass, level.previousAverage, kSensitivity, since))
        return;
    floor.lastBeat = now;
    ++floor.beats;
}

void onRead(pa_stream* stream, size_t, void* data)
{
    auto& floor = *static_cast<Floor*>(data);
    const void* samples = nullptr;
    size_t bytes = 0;
    while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &samples, &bytes) == 0) {
        if (bytes == 0)
            break;
        floor.assembler.append(samples, bytes, [&floor](const AudioBuffer& block) {
            if (const auto level = floor.detector.process({&block, 1}))
                judge(floor, *level);
        });
        pa_stream_drop(stream);
    }
}

void onSinkInfo(pa_context* context, const pa_sink_info* info, int last, void* data)
{
    auto& floor = *static_cast<Floor*>(data);
    if (last || !info || floor.stream)
        return;
    const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, info->sample_spec.rate,
                                info->sample_spec.channels};
    floor.detector.setUpFilter(float(format.rate));
    floor.assembler.reset(format.channels);
    floor.stream = pa_stream_new(context, "Floor", &format, nullptr);
    pa_stream_set_read_callback(floor.stream, onRead, &floor);
    // The same fragment Beamwick asks for.
    const auto fragment = std::uint32_t(BlockAssembler::blockFrames * pa_frame_size(&format));
    const pa_buffer_attr attr{std::uint32_t(-1), std::uint32_t(-1), std::uint32_t(-1),
                              std::uint32_t(-1), fragment};
    const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(floor.stream, info->monitor_source_name, &attr, flags) < 0)
        pa_mainloop_quit(floor.loop, 1);
}

void onServerInfo(pa_context* context, const pa_server_info* info, void* data)
{
    auto& floor = *static_cast<Floor*>(data);
    if (!info || !info->default_sink_name) {
        pa_mainloop_quit(floor.loop, 1);
        return;
    }
    pa_operation_unref(
        pa_context_get_sink_info_by_name(context, info->default_sink_name, onSinkInfo, &floor));
}

void onContextState(pa_context* context, void* data)
{
    auto& floor = *static_cast<Floor*>(data);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
        pa_operation_unref(pa_context_get_server_info(context, onServerInfo, &floor));
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        pa_mainloop_quit(floor.loop, 1);
        break;
    default:
        break;
    }
}

void onSignal(pa_mainloop_api*, pa_signal_event*, int, void* data)
{
    pa_mainloop_quit(static_cast<Floor*>(data)->loop, 0);
}

} // namespace

int main()
{
    Floor floor;
    floor.loop = pa_mainloop_new();
    pa_mainloop_api* api = pa_mainloop_get_api(floor.loop);
    pa_signal_init(api);
    pa_signal_new(SIGTERM, onSignal, &floor);
    pa_signal_new(SIGINT, onSignal, &floor);
    floor.context = pa_context_new(api, "floor_client");
    pa_context_set_state_callback(floor.context, onContextState, &floor);
    int status = 1;
    if (pa_context_connect(floor.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0)
        pa_mainloop_run(floor.loop, &status);
    std::printf("beats %ld blocks %ld\n", floor.beats, floor.blocks);
    if (floor.stream)
        pa_stream_unref(floor.stream);
    pa_context_disconnect(floor.context);
    pa_context_unref(floor.context);
    pa_signal_done();
    pa_mainloop_free(floor.loop);
    return status;
}
