#include "serviceabi/ServiceContract.h"
#include "tests/control/ControllerFixture.h"

class ShutdownTest : public ControllerTest {};

TEST_F(ShutdownTest, QuittingInMusicStopsCaptureThenRestoresTheWholeFactoryTable)
{
    defaults.values.insert("baseMap", jsonTable({{10, 100, 7}, {20, 400, 8}}));
    auto& logo = make();
    logo.setMode(LightMode::music);
    meter->deliver(0.5, 0.0);
    std::size_t writesWhenStopped = 0;
    meter->onStop = [&] { writesWhenStopped = service.writeCount(); };

    const auto before = service.writeCount();
    willTerminate.post();
    EXPECT_FALSE(meter->isRunning());
    EXPECT_EQ(writesWhenStopped, before) << "capture stops before the table is written";
    ASSERT_EQ(service.writeCount(), before + 1);
    const auto last = service.writes().back();
    EXPECT_EQ(last.first, FakeService::tableKey);
    EXPECT_EQ(last.second.asTable(), (PropertyValue::Table{{10, 100, 7}, {20, 400, 8}}));
    EXPECT_EQ(defaults.writes, 1) << "quitting saves nothing new";
    EXPECT_TRUE(ticker->isActive()) << "quitting leaves the effect timer to the process's end";
}

TEST_F(ShutdownTest, QuittingWithTheLightOffLeavesItOff)
{
    auto& logo = make();
    logo.setBrightness(3.0);
    logo.setOn(false);
    const auto switches = service.writesOf(ServiceContract::backlightModeKey).size();
    willTerminate.post();
    EXPECT_EQ(service.writesOf(ServiceContract::backlightModeKey).size(), switches);
    EXPECT_EQ(tableWrites().back().asTable(), (PropertyValue::Table{{10, 100}, {20, 400}}));

    // The restore is not the engine's write: the engine still holds 3.0 as its last level.
    EXPECT_EQ(tablesWrittenBy([&] { logo.setBrightness(3.0); }), 0u);
}

TEST_F(ShutdownTest, QuittingWithoutATableWritesNothing)
{
    service.setProperty(FakeService::tableKey, std::nullopt);
    make();
    const auto before = service.writeCount();
    willTerminate.post();
    EXPECT_EQ(service.writeCount(), before);
    EXPECT_GE(meter->stops, 1);
}

TEST_F(ShutdownTest, ARefusedRestoreIsIgnored)
{
    make();
    service.setRefusing(FakeService::tableKey, true);
    willTerminate.post();
    EXPECT_EQ(service.writes().back().first, FakeService::tableKey);
}

TEST_F(ShutdownTest, NoticeAfterTheControllerIsGoneDoesNothing)
{
    make();
    logo.reset();
    const auto before = service.writeCount();
    willTerminate.post();
    EXPECT_EQ(service.writeCount(), before);
}

TEST_F(ShutdownTest, RemovingTheOldRuleRunsOneFixedCommandAndLooksAgain)
{
    files.insert(oldSudoRule);
    auto& logo = make();
    EXPECT_TRUE(logo.hasOldSudoRule());

    logo.removeOldSudoRule(); // the user cancels: the file stays
    // By full path, never an "rm" from the user's PATH: /bin/rm where /usr/bin/rm is absent.
    const std::vector<std::string> expected = {"/bin/rm", "-f", "/etc/sudoers.d/beamwick"};
    ASSERT_EQ(runner.calls.size(), 1u);
    EXPECT_EQ(runner.calls[0], expected);
    EXPECT_TRUE(logo.hasOldSudoRule());

    runner.effect = [&] { files.erase(oldSudoRule); };
    files.insert("/usr/bin/rm");
    logo.removeOldSudoRule();
    ASSERT_EQ(runner.calls.size(), 2u);
    EXPECT_EQ(runner.calls[1].front(), "/usr/bin/rm");
    EXPECT_FALSE(logo.hasOldSudoRule());
    EXPECT_FALSE(logo.lastError().has_value());
}
