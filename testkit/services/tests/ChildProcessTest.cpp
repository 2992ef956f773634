#include "testkit/services/ChildProcess.h"

#include "testkit/services/FileText.h"

#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>

using namespace std::chrono_literals;

TEST(ChildProcessTest, TheEnvironmentIsOursWithOverridesAndRemovals)
{
    ::setenv("BEAMWICK_TESTKIT_KEEP", "kept", 1);
    ::setenv("BEAMWICK_TESTKIT_DROP", "dropped", 1);
    const auto env = ChildProcess::environmentFor(
        {{"BEAMWICK_TESTKIT_DROP", ""}, {"BEAMWICK_TESTKIT_NEW", "a=b"}});
    const auto has = [&](const std::string& entry) {
        return std::find(env.begin(), env.end(), entry) != env.end();
    };
    EXPECT_TRUE(has("BEAMWICK_TESTKIT_KEEP=kept"));
    EXPECT_TRUE(has("BEAMWICK_TESTKIT_NEW=a=b"));
    EXPECT_FALSE(std::any_of(env.begin(), env.end(), [](const std::string& entry) {
        return entry.rfind("BEAMWICK_TESTKIT_DROP=", 0) == 0;
    }));
}

TEST(ChildProcessTest, RunsWithItsEnvironmentAndReportsItsExitCode)
{
    QTemporaryDir dir;
    const std::string out = dir.filePath("out").toStdString();
    ChildProcess child;
    ASSERT_TRUE(child.start({"/bin/sh",
                             {"-c", "echo \"$BEAMWICK_TESTKIT_WORD\"; echo oops >&2; exit 3"},
                             {{"BEAMWICK_TESTKIT_WORD", "hello"}},
                             out}));
    EXPECT_EQ(child.wait(10s), 3);
    EXPECT_FALSE(child.running());
    EXPECT_EQ(fileText(out), "hello\noops\n");
}

TEST(ChildProcessTest, StopEscalatesToSigkillForAChildThatIgnoresSigterm)
{
    QTemporaryDir dir;
    const std::string out = dir.filePath("out").toStdString();
    ChildProcess child;
    ASSERT_TRUE(
        child.start({"/bin/sh", {"-c", "trap '' TERM; echo ready; exec sleep 30"}, {}, out}));
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (fileText(out).empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);

    EXPECT_FALSE(child.wait(50ms)) << "a wait that times out has no exit code";
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(child.stop(300ms)); // killed, so no exit code
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_FALSE(child.running());
    EXPECT_EQ(child.pid(), -1);
}

TEST(ChildProcessTest, AWaitThatRunsOutFailsWithTheEndOfTheLogAndKillEndsTheChild)
{
    QTemporaryDir dir;
    ChildProcess child;
    ASSERT_TRUE(child.start({"/bin/sh",
                             {"-c", "echo first; echo last words; exec sleep 30"},
                             {},
                             dir.filePath("log").toStdString()}));
    EXPECT_FALSE(child.waitUntil([] { return false; }, 300ms, "the sleeper"));
    EXPECT_NE(child.errorText().find("the sleeper: no answer within 300 ms"), std::string::npos)
        << child.errorText();
    EXPECT_NE(child.errorText().find("first\nlast words"), std::string::npos) << child.errorText();
    const pid_t pid = child.pid();
    child.kill();
    EXPECT_NE(::kill(pid, 0), 0) << "killed and reaped";
    EXPECT_FALSE(child.running());
}

TEST(ChildProcessTest, AProgramThatCannotStartSaysWhy)
{
    ChildProcess child;
    EXPECT_FALSE(child.start({"/nonexistent/program", {}, {}, ""}));
    EXPECT_NE(child.errorText().find("/nonexistent/program"), std::string::npos);
    EXPECT_FALSE(child.running());
    EXPECT_FALSE(child.stop());
}
