#pragma once

// Whether one block's bass level is a beat: the rule Music flashes by. The benchmarks' floor
// client judges its blocks by the same rule, so the two are compared on equal terms. Pure: the
// caller keeps the time of the last accepted beat and passes how long ago that was.
namespace beat_rule {

// The bass must exceed this, whatever the average.
inline constexpr double bassFloor = 0.002;
// The threshold over the running average is average × (this / sensitivity + 1).
inline constexpr double sensitivityNumerator = 0.6;
// A beat is accepted only when more than this has passed since the last accepted one.
inline constexpr double refractorySeconds = 0.18;

// Both comparisons strict, the bass floor tested first: `average` is the running average as it
// stood before the block, `secondsSinceLastBeat` the time since the last accepted beat.
bool accepts(double bass, double average, double sensitivity, double secondsSinceLastBeat);

} // namespace beat_rule
