#include "serviceabi/ServiceContract.h"
#include "tests/control/ControllerFixture.h"

class LogoControllerSettersTest : public ControllerTest {};

TEST_F(LogoControllerSettersTest, SetOnAsksTheServiceEveryTime)
{
    auto& logo = make();
    logo.setOn(true); // already on: still asked
    logo.setOn(false);
    EXPECT_EQ(service.writesOf(ServiceContract::backlightModeKey),
              (std::vector{PropertyValue::integer(1), PropertyValue::integer(0)}));
    EXPECT_FALSE(logo.isOn());
}

TEST_F(LogoControllerSettersTest, RefusedSwitchKeepsTheStateAndOnlySuccessClearsTheError)
{
    auto& logo = make();
    logo.setMode(LightMode::breathe);
    service.setRefusing(ServiceContract::backlightModeKey, true);
    logo.setOn(false);
    EXPECT_TRUE(logo.isOn());
    EXPECT_EQ(logo.lastError(), kRefusedSwitch);
    EXPECT_TRUE(ticker->isActive()) << "nothing is applied after a refusal";

    logo.setMode(LightMode::steady);
    logo.setBrightness(0.5);
    EXPECT_TRUE(logo.lastError().has_value()) << "only a successful switch clears the error";

    service.setRefusing(ServiceContract::backlightModeKey, false);
    logo.setOn(false);
    EXPECT_FALSE(logo.lastError().has_value());
    EXPECT_FALSE(logo.isOn());
}

TEST_F(LogoControllerSettersTest, SettersStoreAndPersist)
{
    auto& logo = make();
    logo.setMode(LightMode::breathe);
    logo.setBrightness(2.5);
    logo.setBreatheSeconds(7.5);
    logo.setSensitivity(0.75);
    EXPECT_EQ(defaults.values.value("mode"), QStringLiteral("Breathe"));
    EXPECT_EQ(defaults.values.value("brightness"), 2.5);
    EXPECT_EQ(defaults.values.value("breatheSeconds"), 7.5);
    EXPECT_EQ(defaults.values.value("sensitivity"), 0.75);
    EXPECT_EQ(logo.brightness(), 2.5);
    EXPECT_EQ(logo.breatheSeconds(), 7.5);
    EXPECT_EQ(logo.sensitivity(), 0.75);
}

TEST_F(LogoControllerSettersTest, BrightnessWritesAtOnceOnlyInSteadyEvenWhileOff)
{
    auto& logo = make();
    logo.setOn(false);
    logo.setBrightness(0.5);
    EXPECT_EQ(writtenLevels().back(), 0.5) << "Steady writes whether or not the light is on";

    logo.setOn(true);
    logo.setMode(LightMode::breathe);
    EXPECT_EQ(tablesWrittenBy([&] { logo.setBrightness(3.0); }), 0u);
}

TEST_F(LogoControllerSettersTest, BreathLengthNeverRestartsTheTimer)
{
    auto& logo = make();
    logo.setMode(LightMode::breathe);
    tick(10);
    const int starts = ticker->starts;
    logo.setBreatheSeconds(3.0);
    EXPECT_EQ(ticker->starts, starts);
    EXPECT_TRUE(ticker->isActive());
    // The breath goes on from where it was, ten ticks into a 5 s breath, at the new pace.
    tick();
    EXPECT_NEAR(writtenLevels().back(), breathLevel(0.1 + 0.05 / 3.0), 1e-12);
}

TEST_F(LogoControllerSettersTest, EveryWriteSignalsObserversEvenWithoutAChange)
{
    auto& logo = make();
    int notices = 0;
    QObject::connect(&logo, &LogoController::objectWillChange, [&] { ++notices; });
    logo.setBrightness(logo.brightness());
    EXPECT_EQ(notices, 1);
    logo.setSensitivity(logo.sensitivity());
    logo.setBreatheSeconds(logo.breatheSeconds());
    EXPECT_EQ(notices, 3);

    // The signal comes before the write, so an observer still sees the old value.
    double seen = 0;
    QObject::connect(&logo, &LogoController::objectWillChange, [&] { seen = logo.brightness(); });
    logo.setBrightness(4.0);
    EXPECT_EQ(seen, 1.0);
}

// Choosing a light is a start for it: one that goes well leaves no error of an earlier start or
// switch behind. A choice the service did not take says why and leaves the error as it was.
TEST_F(LogoControllerSettersTest, AChosenLightStartsAfreshAndARefusedChoiceSaysWhy)
{
    service.setProperty(FakeService::tableKey, std::nullopt);
    service.setProperty(ServiceContract::lightKey, PropertyValue::string("test::a"));
    service.setProperty(
        ServiceContract::lightsKey,
        PropertyValue::array({PropertyValue::string("test::a"), PropertyValue::string("test::b")}));
    auto& logo = make();
    ASSERT_EQ(logo.lastError(), kNoTable);

    service.setProperty(FakeService::tableKey, PropertyValue::table({{10, 100}, {20, 400}}));
    EXPECT_EQ(logo.chooseLight("test::b"), std::nullopt);
    EXPECT_FALSE(logo.lastError().has_value());
    EXPECT_EQ(defaults.values.value("light"), QStringLiteral("test::b"));

    // Asked first, a refused choice leaves the light in use untouched (nothing handed back), and
    // says why where errors show.
    service.setRefusing(ServiceContract::lightKey, true);
    const auto writes = service.writeCount();
    const std::pair<QString, QString> refusals[] = {
        {"test::a", "The system refused to drive the light test::a."},
        {"test::c", "The light test::c is not there any more."},
        {"", "There is no light for Automatic to choose."}};
    for (const auto& [name, why] : refusals) {
        EXPECT_EQ(logo.chooseLight(name), why);
        EXPECT_EQ(logo.lastError(), why);
    }
    EXPECT_EQ(service.writeCount(), writes + std::size(refusals)) << "only the choices asked";
    EXPECT_EQ(logo.light(), "test::b");
    EXPECT_EQ(defaults.values.value("light"), QStringLiteral("test::b"));

    service.setRefusing(ServiceContract::lightKey, false);
    service.setRefusing(ServiceContract::backlightModeKey, true);
    EXPECT_FALSE(logo.setOn(false));
    ASSERT_TRUE(logo.lastError().has_value());
    EXPECT_EQ(logo.chooseLight("test::a"), std::nullopt);
    EXPECT_FALSE(logo.lastError().has_value()) << "the refusal was the other light's";
}
