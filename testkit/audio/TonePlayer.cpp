#include "testkit/audio/TonePlayer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <pulse/channelmap.h>
#include <pulse/simple.h>
#include <sstream>

namespace {

constexpr std::size_t kChannels = 2;
// Handed over 5 ms at a time, so the hand-over times pin down when each frame was written.
constexpr std::size_t kPieceFrames = 240;

} // namespace

TonePlayer::TonePlayer(std::string server, std::vector<float> samples,
                       std::chrono::milliseconds buffer, std::string channelMap)
    : m_server(std::move(server)), m_samples(std::move(samples)), m_buffer(buffer),
      m_channelMap(std::move(channelMap)), m_thread([this] { run(); })
{}

TonePlayer::~TonePlayer()
{
    m_cancel = true;
    wait();
}

void TonePlayer::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

void TonePlayer::run()
{
    pa_channel_map map{};
    const bool mapped = !m_channelMap.empty();
    if (mapped && !pa_channel_map_parse(&map, m_channelMap.c_str())) {
        m_finished = true;
        return;
    }
    const std::size_t channels = mapped ? map.channels : kChannels;
    const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, rate, static_cast<std::uint8_t>(channels)};
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength =
        static_cast<std::uint32_t>(rate * m_buffer.count() / 1000 * channels * sizeof(float));
    attributes.prebuf = static_cast<std::uint32_t>(-1);
    attributes.minreq = static_cast<std::uint32_t>(-1);
    attributes.fragsize = static_cast<std::uint32_t>(-1);
    int error = 0;
    pa_simple* stream =
        pa_simple_new(m_server.c_str(), "Beamwick tests", PA_STREAM_PLAYBACK, nullptr, "test tone",
                      &format, mapped ? &map : nullptr, &attributes, &error);
    if (!stream) {
        m_finished = true;
        return;
    }

    const std::size_t frames = m_samples.size() / channels;
    bool ok = true;
    for (std::size_t frame = 0; frame < frames && !m_cancel; frame += kPieceFrames) {
        const std::size_t count = std::min(kPieceFrames, frames - frame);
        if (pa_simple_write(stream, m_samples.data() + frame * channels,
                            count * channels * sizeof(float), &error) < 0) {
            ok = false;
            break;
        }
        const pa_usec_t latency = pa_simple_get_latency(stream, &error);
        m_handovers.push_back(
            {frame + count, std::chrono::steady_clock::now(), std::chrono::microseconds(latency)});
    }
    if (ok && !m_cancel)
        ok = pa_simple_drain(stream, &error) >= 0;
    pa_simple_free(stream);
    m_succeeded = ok && !m_cancel;
    m_finished = true;
}

std::optional<TonePlayer::TimePoint> TonePlayer::playedAt(std::size_t frame) const
{
    for (const Handover& handover : m_handovers) {
        if (frame < handover.endFrame) {
            // The latency is how long the last frame handed over waits before it is played.
            const auto behind = std::chrono::microseconds(
                static_cast<long long>((handover.endFrame - frame) * 1'000'000 / rate));
            return handover.at + handover.latency - behind;
        }
    }
    return std::nullopt;
}

std::vector<float> toneSamples(double frequency, double amplitude, double seconds)
{
    const auto frames = static_cast<std::size_t>(seconds * TonePlayer::rate);
    std::vector<float> out(frames * kChannels);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = double(i) / TonePlayer::rate;
        const auto v =
            static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * frequency * t));
        out[2 * i] = v;
        out[2 * i + 1] = v;
    }
    return out;
}

std::vector<float> silenceSamples(double seconds)
{
    return std::vector<float>(static_cast<std::size_t>(seconds * TonePlayer::rate) * kChannels);
}

std::vector<float> kickTrack(const std::vector<double>& starts, double seconds)
{
    std::vector<float> out = silenceSamples(seconds);
    const std::size_t frames = out.size() / kChannels;
    for (double start : starts) {
        const auto first = static_cast<std::size_t>(start * TonePlayer::rate);
        for (std::size_t i = 0; i < TonePlayer::rate / 8 && first + i < frames; ++i) {
            const double t = double(i) / TonePlayer::rate;
            const auto v = static_cast<float>(0.8 * std::exp(-t / 0.04) *
                                              std::sin(2 * std::numbers::pi * 55.0 * t));
            out[2 * (first + i)] = v;
            out[2 * (first + i) + 1] = v;
        }
    }
    return out;
}

std::vector<float> inOneChannel(const std::vector<float>& stereo, std::size_t channel,
                                std::size_t channels)
{
    std::vector<float> out(stereo.size() / kChannels * channels);
    for (std::size_t frame = 0; frame < stereo.size() / kChannels; ++frame)
        out[frame * channels + channel] = stereo[frame * kChannels];
    return out;
}

std::vector<float> drumTrack(const std::string& directory, double seconds)
{
    const std::string format = " -r 48000 -c 2 ";
    std::ostringstream script;
    script << "cd '" << directory << "' && sox -n" << format
           << "kick.wav synth 0.15 sine 90:40 fade l 0 0.15 0.12 vol 0.8"
           << " && sox -n" << format
           << "hat.wav synth 0.04 whitenoise vol 0.5 highpass 6000 fade l 0 0.04 0.035"
           << " && sox -m";
    // Every input at full volume: sox would otherwise scale each down by their number.
    auto add = [&](const char* sound, double at) {
        script << " -v 1 \"|sox " << sound << " -p pad " << at << '\"';
    };
    for (double beat = 0.25; beat + 0.5 < seconds; beat += 0.5) {
        if (std::fmod(beat, 2.0) != 1.75)
            add("kick.wav", std::fmod(beat, 2.0) == 1.25 ? beat + 0.125 : beat);
        add("hat.wav", beat + 0.25);
    }
    script << " -v 1 \"|sox -n" << format << "-p synth " << seconds
           << " whitenoise vol 0.05 highpass 500\""
           << " -t raw -e floating-point -b 32 drums.f32 trim 0 " << seconds << " 2>sox.log";
    if (std::system(script.str().c_str()) != 0)
        return {};

    std::ifstream raw(directory + "/drums.f32", std::ios::binary);
    std::vector<float> out(static_cast<std::size_t>(seconds * TonePlayer::rate) * kChannels);
    raw.read(reinterpret_cast<char*>(out.data()), std::streamsize(out.size() * sizeof(float)));
    out.resize(std::size_t(raw.gcount()) / sizeof(float));
    return out;
}
