#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// A synthetic four-on-the-floor kick track: silence, then a decaying low sine burst on every
// beat. Each burst starts at phase zero exactly on its onset frame, so the onset is known to the
// frame. Samples are computed on demand: an hour of track costs no memory.
class KickTrack {
public:
    struct Shape {
        int rate = 48000;
        int channels = 2;
        double bpm = 120.0;
        // Silence before the first kick, so capture and the detector's average have settled.
        double leadInSeconds = 1.0;
        // Kicks are placed while their burst fits before the end.
        double seconds = 10.0;
        double frequency = 60.0;
        double amplitude = 0.8;
        // The burst's envelope is exp(-t / decay) and it is cut off after burstSeconds.
        double decaySeconds = 0.04;
        double burstSeconds = 0.12;
    };

    explicit KickTrack(Shape shape);

    const Shape& shape() const { return m_shape; }
    std::int64_t frames() const { return m_frames; }
    // The first frame of every kick, ascending.
    const std::vector<std::int64_t>& onsets() const { return m_onsets; }
    // Writes interleaved float samples for frames [first, first + out.size() / channels); frames
    // past the end are silence.
    void render(std::int64_t first, std::span<float> out) const;
    // The mono sample value at one frame.
    float sampleAt(std::int64_t frame) const;

private:
    Shape m_shape;
    std::int64_t m_frames = 0;
    std::int64_t m_burstFrames = 0;
    std::vector<std::int64_t> m_onsets;
};
