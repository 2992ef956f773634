#include "serviceabi/ServiceContract.h"
#include "tests/control/ControllerFixture.h"

using namespace std::chrono_literals;

// The light held dark though on: the lid closed always, the lock and battery power by choice.
class HeldDarkTest : public ControllerTest {
protected:
    using Values = DarkConditions::Values;
    static Values lid(bool closed) { return {closed, std::nullopt, std::nullopt}; }

    LogoController& startIn(const char* mode)
    {
        defaults.values.insert("mode", mode);
        defaults.values.insert("brightness", 0.5);
        return make();
    }
    std::size_t switches() const
    {
        return service.writesOf(ServiceContract::backlightModeKey).size();
    }
};

TEST_F(HeldDarkTest, AClosedLidDarkensEachModeAndTheOpenedLidBringsItBackAsItWas)
{
    for (const char* mode : {"Steady", "Breathe", "Music"}) {
        SCOPED_TRACE(mode);
        service.reset();
        dark.post({});
        auto& logo = startIn(mode);
        const auto switched = switches();

        dark.post(lid(true));
        EXPECT_EQ(logo.darkReason(), DarkReason::lidClosed);
        EXPECT_EQ(writtenLevels().back(), 0.0);
        EXPECT_FALSE(ticker->isActive()) << "nothing ticks while dark";
        EXPECT_FALSE(meter->isRunning()) << "nothing listens while dark";
        EXPECT_TRUE(logo.isOn()) << "not the user's off";
        EXPECT_EQ(switches(), switched);

        dark.post(lid(false));
        EXPECT_FALSE(logo.darkReason());
        if (logo.mode() == LightMode::steady) {
            EXPECT_EQ(writtenLevels().back(), 0.5);
            continue;
        }
        ASSERT_TRUE(ticker->isActive());
        if (logo.mode() == LightMode::music) {
            EXPECT_TRUE(meter->isRunning());
            clock.advance(1s);
            meter->deliver(0.5, 0.0);
            EXPECT_EQ(writtenLevels().back(), 0.5) << "the next beat flashes";
        }
    }
}

TEST_F(HeldDarkTest, TheLockAndBatteryPowerDarkenOnlyByTheUsersChoiceWhichIsSaved)
{
    auto& logo = startIn("Steady");
    const Values both{false, true, true};
    dark.post(both);
    EXPECT_FALSE(logo.darkReason());

    logo.setDarkOnBattery(true);
    EXPECT_EQ(logo.darkReason(), DarkReason::onBattery);
    EXPECT_EQ(writtenLevels().back(), 0.0);
    logo.setDarkWhenLocked(true);
    EXPECT_EQ(logo.darkReason(), DarkReason::locked) << "the lock is named before the battery";
    dark.post({true, true, true});
    EXPECT_EQ(logo.darkReason(), DarkReason::lidClosed);
    EXPECT_EQ(tablesWrittenBy([&] { dark.post({true, false, false}); }), 0u)
        << "a change that leaves it dark for the same reason writes nothing";
    EXPECT_EQ(defaults.values.value("darkWhenLocked"), true);
    EXPECT_EQ(defaults.values.value("darkOnBattery"), true);

    // Read back at the next start; unknown conditions never darken.
    logo.setDarkOnBattery(false);
    dark.post({std::nullopt, true, std::nullopt});
    auto& again = make();
    EXPECT_TRUE(again.darkWhenLocked());
    EXPECT_FALSE(again.darkOnBattery());
    EXPECT_EQ(again.darkReason(), DarkReason::locked);
    dark.post({std::nullopt, std::nullopt, true});
    EXPECT_FALSE(again.darkReason());
    EXPECT_EQ(writtenLevels().back(), 0.5);
}

TEST_F(HeldDarkTest, DamagedChoicesReadAsOff)
{
    for (const QJsonValue& saved : {QJsonValue("yes"), QJsonValue(QJsonArray{1}), QJsonValue()}) {
        defaults.values.insert("darkWhenLocked", saved);
        EXPECT_FALSE(make().darkWhenLocked());
    }
    defaults.values.insert("darkWhenLocked", 1);
    EXPECT_TRUE(make().darkWhenLocked());
}

TEST_F(HeldDarkTest, WhatChangesWhileDarkWaitsForTheLightToComeBack)
{
    auto& logo = startIn("Steady");
    dark.post(lid(true));
    ASSERT_EQ(tablesWrittenBy([&] {
                  logo.setBrightness(0.8);
                  logo.setMode(LightMode::breathe);
                  logo.setMode(LightMode::steady);
              }),
              2u);
    EXPECT_EQ(writtenLevels().back(), 0.0) << "each change keeps it dark";
    EXPECT_FALSE(ticker->isActive());
    dark.post(lid(false));
    EXPECT_EQ(writtenLevels().back(), 0.8);

    dark.post(lid(true));
    ASSERT_TRUE(logo.setOn(false));
    EXPECT_EQ(tablesWrittenBy([&] { dark.post(lid(false)); }), 0u)
        << "switched off meanwhile, it stays off";
    EXPECT_FALSE(logo.isOn());
}

TEST_F(HeldDarkTest, QuittingWhileDarkHandsTheFactoryTableBack)
{
    startIn("Music");
    dark.post(lid(true));
    const auto restored = tableRestoredAtQuit();
    ASSERT_TRUE(restored);
    EXPECT_EQ(*restored, (PropertyValue::Table{{10, 100}, {20, 400}}));
}
