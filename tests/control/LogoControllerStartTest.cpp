#include "control/StoredSettings.h"
#include "serviceabi/ServiceContract.h"
#include "tests/control/ControllerFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cmath>
#include <functional>
#include <stdexcept>

class LogoControllerStartTest : public ControllerTest {};

namespace {

const QString kUnreachable = QStringLiteral("Couldn't reach the system's brightness service.");
const QString kNoTable = QStringLiteral("Brightness table not found — dimming unavailable.");

} // namespace

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

TEST_F(LogoControllerStartTest, SavedTableWinsOverTheService)
{
    defaults.values.insert("baseMap", jsonTable({{1, 50, 9}}));
    service.setProperty(FakeService::tableKey, PropertyValue::table({{5, 5}}));
    make();
    EXPECT_EQ(defaults.writes, 0);
    EXPECT_EQ(tableRestoredAtQuit(), (PropertyValue::Table{{1, 50, 9}}));
}

TEST_F(LogoControllerStartTest, ASavedTableNamingAnotherLightIsCapturedAgain)
{
    // The light's number sits at the service's identity index; a row [F, nits, k, trigger, light].
    const PropertyValue::Table light7 = {{3, 25, 1, 0, 7}, {3, 50, 2, 0, 7}};
    const PropertyValue::Table light8 = {{9, 25, 1, 0, 8}, {9, 50, 2, 0, 8}};
    const PropertyValue::Table unnamed = {{3, 25, 1, 0}, {3, 50, 2, 0}};
    struct Case {
        const char* what;
        PropertyValue::Table saved;
        std::optional<PropertyValue::Table> service;
        PropertyValue::Table used;
        // "baseMap" and "baseMaps" where they change.
        int writes;
    };
    const Case cases[] = {
        // Kept among the tables of every light, once.
        {"the same light, dimmer now", light7, {{{1, 25, 1, 0, 7}, {1, 50, 2, 0, 7}}}, light7, 1},
        {"another light", light7, light8, light8, 2},
        // Taken as the light's in use at this first start, and kept among the tables.
        {"saved by the previous version", unnamed, light8, unnamed, 1},
        {"a service that names no light", light7, unnamed, light7, 0},
        {"rows that disagree",
         {{3, 25, 1, 0, 7}, {3, 50, 2, 0, 6}},
         light8,
         {{3, 25, 1, 0, 7}, {3, 50, 2, 0, 6}},
         1},
        {"no table from the service", light7, std::nullopt, light7, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        service.reset();
        defaults.values = QJsonObject{{"baseMap", StoredSettings::tableToJson(c.saved)}};
        defaults.writes = 0;
        if (c.service)
            service.setProperty(FakeService::tableKey, PropertyValue::table(*c.service));
        else
            service.setProperty(FakeService::tableKey, std::nullopt);
        const int flushes = defaults.flushes;
        auto& logo = make();
        EXPECT_FALSE(logo.lastError().has_value());
        EXPECT_EQ(defaults.values.value("baseMap"), StoredSettings::tableToJson(c.used));
        // With the table of the light in use, the tables of all lights met ("baseMaps").
        EXPECT_EQ(defaults.writes, c.writes);
        if (c.used != c.saved) {
            EXPECT_GT(defaults.flushes, flushes) << "the new capture must reach the disk at once";
        }
        EXPECT_EQ(tableRestoredAtQuit(), c.used);
    }

    // Back to a light met before: its own table, not the state the service finds it in now.
    const PropertyValue::Table light8Before = {{5, 25, 1, 0, 8}, {5, 50, 2, 0, 8}};
    const auto json = &StoredSettings::tableToJson;
    defaults.values = {{"baseMap", json(light7)},
                       {"baseMaps", QJsonObject{{"8", json(light8Before)}}}};
    service.reset();
    service.setProperty(FakeService::tableKey, PropertyValue::table(light8));
    make();
    EXPECT_EQ(defaults.values.value("baseMap"), json(light8Before));
    EXPECT_EQ(defaults.values.value("baseMaps"),
              (QJsonObject{{"7", json(light7)}, {"8", json(light8Before)}}));
}

TEST_F(LogoControllerStartTest, UnusableSavedTablesAreCapturedAgain)
{
    const QJsonValue unusable[] = {
        QJsonArray(),                                      // empty
        jsonTable({{10, 100}, {20}}),                      // a row too short to dim
        QJsonArray{QJsonArray{QStringLiteral("10"), 100}}, // not numbers
        QJsonArray{5, 6},                                  // rows that are not arrays
        QStringLiteral("[[10,100]]"),                      // not an array
    };
    for (const auto& saved : unusable) {
        SCOPED_TRACE(QJsonDocument(QJsonObject{{"v", saved}}).toJson().toStdString());
        defaults.values = QJsonObject{{"baseMap", saved}};
        make();
        EXPECT_EQ(defaults.values.value("baseMap"), jsonTable({{10, 100}, {20, 400}}));
        EXPECT_EQ(tableRestoredAtQuit(), (PropertyValue::Table{{10, 100}, {20, 400}}));
    }
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

TEST_F(LogoControllerStartTest, AnEmptyServiceTableIsSavedWithoutAMessageAndCapturedAgainNextTime)
{
    service.setProperty(FakeService::tableKey, PropertyValue::array({}));
    auto& logo = make();
    EXPECT_FALSE(logo.lastError().has_value());
    EXPECT_EQ(defaults.values.value("baseMap"), QJsonArray());
    EXPECT_TRUE(tableWrites().empty());
    EXPECT_FALSE(tableRestoredAtQuit());

    service.setProperty(FakeService::tableKey, PropertyValue::table({{1, 2}}));
    make();
    EXPECT_EQ(tableRestoredAtQuit(), (PropertyValue::Table{{1, 2}}));
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
    EXPECT_EQ(logo.lastError(), QStringLiteral("The system refused to switch the logo."));

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
