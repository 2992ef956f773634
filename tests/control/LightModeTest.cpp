#include "control/LightMode.h"

#include <gtest/gtest.h>

TEST(LightModeTest, RawValuesAndOrder)
{
    EXPECT_EQ(rawValue(allLightModes[0]), "Steady");
    EXPECT_EQ(rawValue(allLightModes[1]), "Breathe");
    EXPECT_EQ(rawValue(allLightModes[2]), "Music");
    for (LightMode mode : allLightModes)
        EXPECT_EQ(lightModeFromRawValue(rawValue(mode)), mode);
    EXPECT_FALSE(lightModeFromRawValue("STEADY"));
    EXPECT_FALSE(lightModeFromRawValue(" Steady"));
}
