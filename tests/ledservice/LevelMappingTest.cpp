#include "ledservice/LevelMapping.h"

#include "serviceabi/ServiceContract.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace {

const std::vector<double> kLevels = {0.02, 0.03, 0.5, 1.0, 2.0, ServiceContract::topLevel};

std::vector<unsigned> mapAll(const LevelMapping& mapping)
{
    std::vector<unsigned> out;
    for (double level : kLevels)
        out.push_back(mapping.brightnessFor(level));
    return out;
}

} // namespace

TEST(LevelMappingTest, OnOffLedLightsFromHalfLevel)
{
    const LevelMapping found(1, 1);
    const LevelMapping foundOff(1, 0);
    EXPECT_EQ(mapAll(found), (std::vector<unsigned>{0, 0, 1, 1, 1, 1}));
    EXPECT_EQ(mapAll(foundOff), mapAll(found));
    EXPECT_EQ(found.brightnessFor(0.49), 0u);
    EXPECT_EQ(found.brightnessFor(0.5), 1u);
}

TEST(LevelMappingTest, ThreeStepLedKeepsTheFaintestLevelsOff)
{
    EXPECT_EQ(mapAll(LevelMapping(3, 2)), (std::vector<unsigned>{0, 0, 1, 2, 2, 3}));
    // Found off: the fallback is one step, so the levels spread linearly.
    EXPECT_EQ(LevelMapping(3, 0).factoryBrightness(), 1u);
    EXPECT_EQ(mapAll(LevelMapping(3, 0)), (std::vector<unsigned>{0, 0, 1, 1, 1, 3}));
    EXPECT_EQ(mapAll(LevelMapping(3, 3)), (std::vector<unsigned>{0, 0, 2, 3, 3, 3}));
}

TEST(LevelMappingTest, FineLedKeepsTheFaintestLevelsLit)
{
    EXPECT_EQ(mapAll(LevelMapping(255, 128)), (std::vector<unsigned>{3, 4, 64, 128, 146, 255}));
    EXPECT_EQ(LevelMapping(255, 0).factoryBrightness(), 32u);
    EXPECT_EQ(mapAll(LevelMapping(255, 0)), (std::vector<unsigned>{1, 1, 16, 32, 64, 255}));
    // Found at the lowest step: every level up to 1.0 rounds below it, yet stays lit.
    EXPECT_EQ(mapAll(LevelMapping(255, 1)), (std::vector<unsigned>{1, 1, 1, 1, 37, 255}));
    // The same holds from ten steps up.
    EXPECT_EQ(LevelMapping(10, 5).brightnessFor(0.02), 1u);
    EXPECT_EQ(LevelMapping(9, 5).brightnessFor(0.02), 0u);
}

TEST(LevelMappingTest, SweepIsMonotonicAndClamped)
{
    for (unsigned max : {1u, 2u, 3u, 9u, 10u, 100u, 255u, 65535u}) {
        for (unsigned found : {0u, 1u, max / 2, max, max + 7}) {
            SCOPED_TRACE(testing::Message() << "max " << max << " found " << found);
            const LevelMapping mapping(max, found);
            unsigned previous = 0;
            for (double level = 0.0; level <= 9.0; level += 0.01) {
                const unsigned b = mapping.brightnessFor(level);
                ASSERT_GE(b, previous) << "at level " << level;
                ASSERT_LE(b, max);
                previous = b;
            }
            EXPECT_EQ(mapping.brightnessFor(ServiceContract::topLevel), max);
            EXPECT_EQ(mapping.brightnessFor(1.0), mapping.factoryBrightness());
        }
    }
}

TEST(LevelMappingTest, NonsenseLevelsAreDarkOrFull)
{
    const LevelMapping mapping(255, 128);
    EXPECT_EQ(mapping.brightnessFor(-1.0), 0u);
    EXPECT_EQ(mapping.brightnessFor(0.0), 0u);
    EXPECT_EQ(mapping.brightnessFor(std::nan("")), 0u);
    EXPECT_EQ(mapping.brightnessFor(1e300), 255u);
    EXPECT_EQ(mapping.brightnessFor(std::numeric_limits<double>::infinity()), 255u);
}
