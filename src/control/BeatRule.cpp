#include "control/BeatRule.h"

bool beat_rule::accepts(double bass, double average, double sensitivity,
                        double secondsSinceLastBeat)
{
    if (!(bass > bassFloor))
        return false;
    const double factor = sensitivityNumerator / sensitivity + 1.0;
    if (!(bass > average * factor))
        return false;
    return secondsSinceLastBeat > refractorySeconds;
}
