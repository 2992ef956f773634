#include "harness/ChildProcess.h"

#include "harness/WriteLog.h"

#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(ChildProcessTest, TheEnvironmentIsOursWithOverridesAndRemovals)
{
    ::setenv("BEAMWICK_BENCH_KEEP", "kept", 1);
    ::setenv("BEAMWICK_BENCH_DROP", "dropped", 1);
    const auto env =
        ChildProcess::environmentFor({{"BEAMWICK_BENCH_DROP", ""}, {"BEAMWICK_BENCH_NEW", "a=b"}});
    const auto has = [&](const std::string& entry) {
        return std::find(env.begin(), env.end(), entry) != env.end();
    };
    EXPECT_TRUE(has("BEAMWICK_BENCH_KEEP=kept"));
    EXPECT_TRUE(has("BEAMWICK_BENCH_NEW=a=b"));
    EXPECT_FALSE(std::any_of(env.begin(), env.end(), [](const std::string& entry) {
        return entry.rfind("BEAMWICK_BENCH_DROP=", 0) == 0;
    }));
}

TEST(ChildProcessTest, RunsWithItsEnvironmentAndReportsItsExitCode)
{
    QTemporaryDir dir;
    const std::string out = dir.filePath("out").toStdString();
    ChildProcess child;
    ASSERT_TRUE(child.start({"/bin/sh",
                             {"-c", "echo \"$BEAMWICK_BENCH_WORD\"; echo oops >&2; exit 3"},
                             {{"BEAMWICK_BENCH_WORD", "hello"}},
                             out}));
    EXPECT_EQ(child.wait(10s), 3);
    EXPECT_FALSE(child.running());
    EXPECT_EQ(WriteLog::readAll(out), "hello\noops\n");
}

TEST(ChildProcessTest, StopEscalatesToSigkillForAChildThatIgnoresSigterm)
{
    QTemporaryDir dir;
    const std::string out = dir.filePath("out").toStdString();
    ChildProcess child;
    ASSERT_TRUE(
        child.start({"/bin/sh", {"-c", "trap '' TERM; echo ready; exec sleep 30"}, {}, out}));
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (WriteLog::readAll(out).empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);

    EXPECT_FALSE(child.wait(50ms)) << "a wait that times out has no exit code";
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(child.stop(300ms)); // killed, so no exit code
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_FALSE(child.running());
    EXPECT_EQ(child.pid(), -1);
}

TEST(ChildProcessTest, AProgramThatCannotStartSaysWhy)
{
    ChildProcess child;
    EXPECT_FALSE(child.start({"/nonexistent/program", {}, {}, ""}));
    EXPECT_NE(child.errorText().find("/nonexistent/program"), std::string::npos);
    EXPECT_FALSE(child.running());
    EXPECT_FALSE(child.stop());
}
