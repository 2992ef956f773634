#pragma once

#include "serviceabi/ServiceContract.h"

// Turns a level (the factor a written brightness table applies to the factory table) into an
// LED brightness step.
//
// With M = max_brightness and F = the factory brightness:
//   raw = level * F                              for level <= 1
//   raw = F + (level - 1) / 7 * (M - F)          for 1 < level <= 8 (and M above 8)
// so level 1.0 gives F and level 8.0 gives M, continuous and non-decreasing in between. The
// step is raw rounded to nearest (halves up), clamped to 0 ... M. On an LED with at least
// `faintStepMinimum` steps a positive level never rounds to 0, so the faintest levels stay
// visibly lit; on coarser LEDs (an on/off LED among them) levels below half a step are off.
class LevelMapping {
public:
    static constexpr double maxLevel = ServiceContract::topLevel;
    // From ten steps up, the lowest step is a tenth of full brightness or less: faint enough
    // to stand for the faintest levels. Below that, a "barely lit" level would glare.
    static constexpr unsigned faintStepMinimum = 10;

    // F is the LED's brightness as found, or fallbackFactoryBrightness() when it was off.
    LevelMapping(unsigned maxBrightness, unsigned brightnessAsFound);

    // An eighth of full brightness (at least one step), so that levels map linearly onto the
    // whole range: level 8.0 is full brightness.
    static unsigned fallbackFactoryBrightness(unsigned maxBrightness);

    unsigned maxBrightness() const { return m_max; }
    unsigned factoryBrightness() const { return m_factory; }
    unsigned brightnessFor(double level) const;

private:
    unsigned m_max;
    unsigned m_factory;
};
