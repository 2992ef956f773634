// The light alone, over the recording service module and an in-memory store, with no controller
// deciding levels: which factory table a start takes and saves, and which one quitting gives back.
#include "control/DrivenLight.h"

#include "control/StoredSettings.h"
#include "tests/control/ControllerFixture.h"

#include <QJsonDocument>

class DrivenLightTest : public ControllerTest {
protected:
    // Takes the light as a start does; why it has no table to dim by, if so.
    std::optional<QString> take()
    {
        light =
            std::make_unique<DrivenLight>(std::make_unique<Brightness>(FAKE_SERVICE_MODULE_PATH),
                                          defaults, DrivenLight::WatchFile{});
        return light->start();
    }

    // Quits: the table handed back, nothing when none was written.
    std::optional<PropertyValue::Table> handedBack()
    {
        return lastTableWrittenBy([this] { light->handBack(); });
    }

    std::unique_ptr<DrivenLight> light;
};

TEST_F(DrivenLightTest, SavedTableWinsOverTheService)
{
    defaults.values.insert("baseMap", jsonTable({{1, 50, 9}}));
    service.setProperty(FakeService::tableKey, PropertyValue::table({{5, 5}}));
    take();
    EXPECT_EQ(defaults.writes, 0);
    EXPECT_EQ(handedBack(), (PropertyValue::Table{{1, 50, 9}}));
}

TEST_F(DrivenLightTest, ASavedTableNamingAnotherLightIsCapturedAgain)
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
        EXPECT_EQ(take(), std::nullopt);
        EXPECT_EQ(defaults.values.value("baseMap"), StoredSettings::tableToJson(c.used));
        // With the table of the light in use, the tables of all lights met ("baseMaps").
        EXPECT_EQ(defaults.writes, c.writes);
        if (c.used != c.saved) {
            EXPECT_GT(defaults.flushes, flushes) << "the new capture must reach the disk at once";
        }
        EXPECT_EQ(handedBack(), c.used);
    }

    // Back to a light met before: its own table, not the state the service finds it in now.
    const PropertyValue::Table light8Before = {{5, 25, 1, 0, 8}, {5, 50, 2, 0, 8}};
    const auto json = &StoredSettings::tableToJson;
    defaults.values = {{"baseMap", json(light7)},
                       {"baseMaps", QJsonObject{{"8", json(light8Before)}}}};
    service.reset();
    service.setProperty(FakeService::tableKey, PropertyValue::table(light8));
    take();
    EXPECT_EQ(defaults.values.value("baseMap"), json(light8Before));
    EXPECT_EQ(defaults.values.value("baseMaps"),
              (QJsonObject{{"7", json(light7)}, {"8", json(light8Before)}}));
}

TEST_F(DrivenLightTest, UnusableSavedTablesAreCapturedAgain)
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
        take();
        EXPECT_EQ(defaults.values.value("baseMap"), jsonTable({{10, 100}, {20, 400}}));
        EXPECT_EQ(handedBack(), (PropertyValue::Table{{10, 100}, {20, 400}}));
    }
}

TEST_F(DrivenLightTest, AnEmptyServiceTableIsSavedWithoutAMessageAndCapturedAgainNextTime)
{
    service.setProperty(FakeService::tableKey, PropertyValue::array({}));
    EXPECT_EQ(take(), std::nullopt);
    EXPECT_EQ(defaults.values.value("baseMap"), QJsonArray());
    EXPECT_TRUE(tableWrites().empty());
    EXPECT_FALSE(handedBack());

    service.setProperty(FakeService::tableKey, PropertyValue::table({{1, 2}}));
    take();
    EXPECT_EQ(handedBack(), (PropertyValue::Table{{1, 2}}));
}
