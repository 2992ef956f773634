#include "serviceabi/ServiceContract.h"
#include "tests/control/ControllerFixture.h"

#include <QJsonArray>
#include <functional>
#include <stdexcept>

class LogoControllerStartTest : public ControllerTest {};

TEST_F(LogoControllerStartTest, FirstStartCapturesAndSavesTheFactoryTable)
{
    auto& logo = make();
    EXPECT_EQ(logo.mode(), LightMode::steady);
    EXPECT_EQ(logo.brightness(), 1.0);
    EXPECT_EQ(logo.breatheSeconds(), 5.0);
    EXPECT_EQ(logo.sensitivity(), 1.5);
    EXPECT_TRUE(logo.isOn());
    EXPECT_FALSE(logo.lastError().has_value());
    EXPECT_EQ(logo.musicStatus(), QString());
    EXPECT_FALSE(logo.hasOldSudoRule());
    EXPECT_EQ(defaults.values.value("baseMap"), jsonTable({{10, 100}, {20, 400}}));
    EXPECT_GE(defaults.flushes, 1) << "the factory table must reach the disk at once";
    // The closing apply() writes the Steady level.
    EXPECT_EQ(writtenLevels(), std::vector<double>{1.0});
    EXPECT_EQ(tableRestoredAtQuit(), (PropertyValue::Table{{10, 100}, {20, 400}}));
}

TEST_F(LogoControllerStartTest, ModeLoadsOnlyFromAnExactRawValue)
{
    const std::pair<QJsonValue, LightMode> cases[] = {
        {QStringLiteral("Breathe"), LightMode::breathe},
        {QStringLiteral("Music"), LightMode::music},
        {QStringLiteral("music"), LightMode::steady},
        {QStringLiteral(""), LightMode::steady},
        {QJsonValue(2), LightMode::steady},
    };
    for (const auto& [stored, expected] : cases) {
        defaults.values = QJsonObject{{"mode", stored}};
        EXPECT_EQ(make().mode(), expected) << stored.toVariant().toString().toStdString();
    }
}

TEST_F(LogoControllerStartTest, NumericSettingsLoadUnclampedAndForgiveWrongTypes)
{
    defaults.values = QJsonObject{
        {"brightness", 20.0}, {"breatheSeconds", 0.0}, {"sensitivity", QStringLiteral("2.5")}};
    auto& logo = make();
    EXPECT_EQ(logo.brightness(), 20.0);
    EXPECT_EQ(logo.breatheSeconds(), 0.0);
    EXPECT_EQ(logo.sensitivity(), 2.5);

    defaults.values = QJsonObject{{"brightness", QStringLiteral("bright")},
                                  {"breatheSeconds", QJsonArray{1}},
                                  {"sensitivity", QJsonValue::Null}};
    auto& damaged = make();
    EXPECT_EQ(damaged.brightness(), 0.0);
    EXPECT_EQ(damaged.breatheSeconds(), 0.0);
    EXPECT_EQ(damaged.sensitivity(), 0.0);
}

TEST_F(LogoControllerStartTest, BacklightModeDecidesIsOn)
{
    const std::pair<std::optional<PropertyValue>, bool> cases[] = {
        {PropertyValue::integer(2), true},
        {PropertyValue::integer(0), false},
        {PropertyValue::real(0.0), false},
        {PropertyValue::string("off"), true},
        {std::nullopt, true},
    };
    for (const auto& [value, expected] : cases) {
        service.reset();
        service.setProperty(ServiceContract::backlightModeKey, value);
        EXPECT_EQ(make().isOn(), expected);
    }
}

TEST_F(LogoControllerStartTest, LightOffAtStartWritesNoTable)
{
    service.setProperty(ServiceContract::backlightModeKey, PropertyValue::integer(0));
    make();
    EXPECT_TRUE(tableWrites().empty());
}

TEST_F(LogoControllerStartTest, MissingTableLeavesDimmingUnavailable)
{
    for (const auto& value :
         {std::optional<PropertyValue>(), std::optional(PropertyValue::integer(3)),
          std::optional(PropertyValue::table({{10, 100}, {20}}))}) {
        service.reset();
        defaults.values = {};
        service.setProperty(FakeService::tableKey, value);
        auto& logo = make();
        EXPECT_EQ(logo.lastError(), kNoTable);
        EXPECT_FALSE(defaults.values.contains("baseMap"));
        for (LightMode mode : allLightModes) {
            logo.setMode(mode);
            EXPECT_FALSE(ticker->isActive());
        }
        logo.setBrightness(2.0);
        EXPECT_TRUE(tableWrites().empty());
        EXPECT_FALSE(tableRestoredAtQuit()) << "no table to hand back";
    }
}

TEST_F(LogoControllerStartTest, WithoutTheServiceConstructionStopsEarly)
{
    files.insert(oldSudoRule);
    defaults.values = QJsonObject{{"mode", "Music"}, {"brightness", 0.5}};
    auto& logo = make(std::string(FAKE_MODULE_DIR) + "/fake-broken-service-1.so");
    EXPECT_EQ(logo.lastError(), kUnreachable);
    EXPECT_TRUE(logo.isOn());
    EXPECT_EQ(logo.mode(), LightMode::music);
    EXPECT_EQ(logo.brightness(), 0.5);
    EXPECT_TRUE(logo.hasOldSudoRule());
    EXPECT_TRUE(tableWrites().empty());
    EXPECT_FALSE(meter->levelCallback());
    EXPECT_EQ(meter->starts, 0);
    EXPECT_FALSE(ticker->isActive());

    logo.setOn(true);
    EXPECT_EQ(logo.lastError(), kRefusedSwitch);

    willTerminate.post();
    EXPECT_EQ(meter->stops, 0) << "no will-terminate handler without the service";
}

TEST_F(LogoControllerStartTest, LevelCallbackHoldsTheControllerWeakly)
{
    make();
    const auto callback = meter->levelCallback();
    ASSERT_TRUE(callback);
    logo.reset();
    const auto writesBefore = service.writeCount();
    callback(0.5, 0.0); // a beat for a controller that is gone
    EXPECT_EQ(service.writeCount(), writesBefore);
}

TEST_F(LogoControllerStartTest, AMissingRequiredPartIsRefusedBeforeAnythingHappens)
{
    const std::function<void(LogoController::Environment&)> removals[] = {
        [](auto& env) { env.brightness.reset(); },
        [](auto& env) { env.meter.reset(); },
        [](auto& env) { env.ticker.reset(); },
        [](auto& env) { env.flashTicker.reset(); },
        [](auto& env) { env.fileExists = {}; },
    };
    for (const auto& remove : removals) {
        auto env = environment();
        remove(env);
        EXPECT_THROW(std::make_unique<LogoController>(std::move(env)), std::invalid_argument);
    }
    EXPECT_EQ(service.writeCount(), 0u);
    EXPECT_EQ(defaults.writes, 0);
}
