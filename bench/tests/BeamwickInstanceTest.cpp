// The private install and its log, with a stand-in executable that behaves like Beamwick as far
// as the harness can see: it writes tables into the recording module's log.
#include "harness/BeamwickInstance.h"

#include "harness/WriteLog.h"

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

std::string writeScript(const QTemporaryDir& dir, const std::string& body,
                        const char* name = "standin")
{
    const std::string path = dir.filePath(name).toStdString();
    std::ofstream(path) << "#!/bin/sh\n" << body;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

// Copies its settings and environment into the log's folder, then writes a table every 10 ms.
const std::string kStandIn =
    std::string(
        R"(cp "$XDG_CONFIG_HOME/beamwick/settings.json" "$(dirname "$BEAMWICK_FAKE_SERVICE_LOG")/seen"
echo "$QT_QPA_PLATFORM $HOME" >> "$(dirname "$BEAMWICK_FAKE_SERVICE_LOG")/seen"
while :; do
    echo "$(date +%s%N) )") +
    WriteLog::tableKey + R"( [[10,100],[20,400]]" >> "$BEAMWICK_FAKE_SERVICE_LOG"
    sleep 0.01
done
)";

} // namespace

TEST(BeamwickInstanceTest, RunsThePrivateInstallWithSeededSettingsUntilStopped)
{
    QTemporaryDir dir;
    const std::string root = dir.filePath("install").toStdString();
    BeamwickInstance instance(root,
                              {writeScript(dir, kStandIn), writeScript(dir, "", "module.so")});
    ASSERT_TRUE(instance.prepare()) << instance.errorText();
    EXPECT_TRUE(std::filesystem::exists(root + "/lib/beamwick/beamwick-leds.so"));
    EXPECT_EQ(std::filesystem::status(root + "/run").permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);

    ASSERT_TRUE(instance.start("Breathe", {}));
    ASSERT_TRUE(instance.waitForLog(
        [](const std::string& log) { return WriteLog::tableWrites(log, 100.0).size() >= 3; }, 10s))
        << instance.errorText();
    const std::string seen = WriteLog::readAll(root + "/log/seen");
    EXPECT_EQ(seen, BeamwickInstance::seed("Breathe") + "offscreen " + root + "/home\n");

    // Once detached, the log no longer grows.
    ASSERT_TRUE(instance.detachLog()) << instance.errorText();
    const auto frozen = WriteLog::readAll(root + "/log.detached/writes.log");
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(WriteLog::readAll(root + "/log.detached/writes.log"), frozen);
    EXPECT_FALSE(std::filesystem::exists(instance.logPath()));

    EXPECT_TRUE(instance.running());
    instance.stop();
    EXPECT_FALSE(instance.running());
}

TEST(BeamwickInstanceTest, AProcessThatEndsEarlyIsReportedAtOnce)
{
    QTemporaryDir dir;
    BeamwickInstance instance(dir.filePath("install").toStdString(),
                              {writeScript(dir, "exit 1\n"), writeScript(dir, "", "module.so")});
    ASSERT_TRUE(instance.prepare());
    ASSERT_TRUE(instance.start("Music", {}));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(instance.waitForLog([](const std::string&) { return false; }, 30s));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    EXPECT_NE(instance.errorText().find("ended early"), std::string::npos);
}

TEST(BeamwickInstanceTest, AMissingExecutableIsAClearError)
{
    QTemporaryDir dir;
    BeamwickInstance instance(dir.filePath("install").toStdString(),
                              {"/nonexistent/beamwick", "/nonexistent/module.so"});
    EXPECT_FALSE(instance.prepare());
    EXPECT_NE(instance.errorText().find("/nonexistent/beamwick"), std::string::npos);
}
