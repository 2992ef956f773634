#include "brightness/Brightness.h"

#include "serviceabi/ServiceContract.h"
#include "testkit/fakes/FakeService.h"

#include <gtest/gtest.h>

namespace {

std::string broken(int kind)
{
    return std::string(FAKE_MODULE_DIR) + "/fake-broken-service-" + std::to_string(kind) + ".so";
}

class BrightnessTest : public ::testing::Test {
protected:
    void SetUp() override { service.reset(); }
    FakeService service;
};

} // namespace

TEST_F(BrightnessTest, EveryFailingLoadStepLeavesTheClientUnavailable)
{
    const std::vector<std::string> paths = {
        "/nonexistent/beamwick-leds.so", // nothing to load
        broken(5),                       // no lookup entry point
        broken(1),                       // no client type by that name
        broken(2),                       // a client type of another interface version
        broken(3),                       // no setter
        broken(4),                       // the initialiser gives nothing
    };
    for (const auto& path : paths) {
        SCOPED_TRACE(path);
        Brightness bs(path);
        EXPECT_FALSE(bs.available());
        EXPECT_FALSE(bs.get(ServiceContract::backlightModeKey).has_value());
        EXPECT_FALSE(bs.set(PropertyValue::integer(1), ServiceContract::backlightModeKey));
    }
}

TEST_F(BrightnessTest, ReadsTheServiceValueAndReleasesItsCopy)
{
    Brightness bs(FAKE_SERVICE_MODULE_PATH);
    ASSERT_TRUE(bs.available());
    EXPECT_EQ(service.instances(), 1u);

    const auto mode = bs.get(ServiceContract::backlightModeKey);
    ASSERT_TRUE(mode && mode->isInteger());
    EXPECT_EQ(mode->integerValue(), 1);
    const auto table = bs.get(FakeService::tableKey);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->asTable(), (PropertyValue::Table{{10, 100}, {20, 400}}));
    EXPECT_EQ(service.valuesHeldByCallers(), 0u);

    // No object is no value, not an empty one.
    EXPECT_FALSE(bs.get("LEUnknownKey").has_value());
}

TEST_F(BrightnessTest, SetPassesTheValueShapeAndReturnsTheServiceAnswer)
{
    Brightness bs(FAKE_SERVICE_MODULE_PATH);
    EXPECT_TRUE(bs.set(PropertyValue::integer(0), ServiceContract::backlightModeKey));
    EXPECT_TRUE(bs.set(PropertyValue::real(0.01), ServiceContract::followTauKey));
    service.setRefusing(FakeService::tableKey, true);
    EXPECT_FALSE(bs.set(PropertyValue::table({{10, 25}, {20, 100}}), FakeService::tableKey));

    const auto writes = service.writes();
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_TRUE(writes[0].second.isInteger());
    EXPECT_TRUE(writes[1].second.isReal());
    EXPECT_EQ(writes[1].second.doubleValue(), 0.01);
    EXPECT_EQ(writes[2].second.asTable(), (PropertyValue::Table{{10, 25}, {20, 100}}));
}

TEST_F(BrightnessTest, ClientIsReleasedWithTheObject)
{
    {
        Brightness bs(FAKE_SERVICE_MODULE_PATH);
        EXPECT_EQ(service.instances(), 1u);
    }
    EXPECT_EQ(service.instances(), 0u);
}
