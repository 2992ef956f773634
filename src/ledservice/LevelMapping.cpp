#include "ledservice/LevelMapping.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kRoundingSlack = 1e-9;

} // namespace

LevelMapping::LevelMapping(unsigned maxBrightness, unsigned brightnessAsFound)
    : m_max(std::max(maxBrightness, 1u)),
      m_factory(brightnessAsFound > 0 ? std::min(brightnessAsFound, m_max)
                                      : fallbackFactoryBrightness(m_max))
{}

unsigned LevelMapping::fallbackFactoryBrightness(unsigned maxBrightness)
{
    const double eighth = std::floor(static_cast<double>(maxBrightness) / maxLevel + 0.5);
    return std::clamp(static_cast<unsigned>(eighth), 1u, std::max(maxBrightness, 1u));
}

unsigned LevelMapping::brightnessFor(double level) const
{
    if (!(level > 0))
        return 0;
    const double factory = m_factory;
    const double max = m_max;
    double raw;
    if (level <= 1.0)
        raw = level * factory;
    else if (level < maxLevel)
        raw = factory + (level - 1.0) / (maxLevel - 1.0) * (max - factory);
    else
        raw = max;
    // The slack keeps an exact half from rounding down when the level arrived as a ratio of
    // sums that missed it by an ulp.
    double step = std::floor(raw + 0.5 + kRoundingSlack);
    if (step < 1.0 && m_max >= faintStepMinimum)
        step = 1.0;
    return static_cast<unsigned>(std::clamp(step, 0.0, max));
}
