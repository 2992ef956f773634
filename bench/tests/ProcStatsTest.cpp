#include "harness/ProcStats.h"

#include <QTemporaryDir>
#include <atomic>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace {

double threadCpuSeconds()
{
    timespec used{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
    return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
}

// Burns this much CPU time, however long a loaded machine takes to give it.
void burn(double seconds)
{
    volatile double sink = 0;
    const double until = threadCpuSeconds() + seconds;
    while (threadCpuSeconds() < until)
        for (int i = 0; i < 1000; ++i)
            sink = sink + std::sqrt(static_cast<double>(i));
}

void write(const std::filesystem::path& path, const std::string& text)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

} // namespace

TEST(ProcStatsTest, CpuTicksAreCountedFromTheLastParenthesis)
{
    // A command name may hold spaces and parentheses of its own.
    const std::string stat = "4242 (we ird) (name) S 1 4242 4242 0 -1 4194560 100 0 0 0 "
                             "37 5 0 0 20 0 3 0 100 1000 200";
    EXPECT_EQ(ProcStats::cpuTicks(stat), 42);
    EXPECT_FALSE(ProcStats::cpuTicks("4242 (short) S 1 2 3"));
    EXPECT_FALSE(ProcStats::cpuTicks("no parenthesis at all"));
    EXPECT_FALSE(ProcStats::cpuTicks("1 (x) S 1 1 1 0 -1 0 0 0 0 0 a b"));
}

TEST(ProcStatsTest, StatusFieldsMatchTheWholeName)
{
    const std::string status = "Name:\tbeamwick\n"
                               "VmHWM:\t   30212 kB\n"
                               "VmRSS:\t   29000 kB\n"
                               "nonvoluntary_ctxt_switches:\t99\n"
                               "voluntary_ctxt_switches:\t1234\n"
                               "Broken:\n";
    EXPECT_EQ(ProcStats::statusField(status, "VmHWM"), 30212);
    EXPECT_EQ(ProcStats::statusField(status, "voluntary_ctxt_switches"), 1234);
    EXPECT_EQ(ProcStats::statusField(status, "nonvoluntary_ctxt_switches"), 99);
    EXPECT_FALSE(ProcStats::statusField(status, "VmHW"));
    EXPECT_FALSE(ProcStats::statusField(status, "Broken"));
    EXPECT_FALSE(ProcStats::statusField(status, "Name"));
    EXPECT_EQ(ProcStats::schedstatNs("123456789 2000 17\n"), 123456789);
    EXPECT_FALSE(ProcStats::schedstatNs(""));
}

TEST(ProcStatsTest, ThisProcessShowsTheCpuItBurnsAndTheSleepsItTakes)
{
    const auto before = ProcStats::sample(::getpid());
    ASSERT_TRUE(before);
    ASSERT_FALSE(before->threads.empty());
    EXPECT_GT(before->peakRssKb, 0);

    burn(0.2);
    for (int i = 0; i < 30; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto after = ProcStats::sample(::getpid());
    ASSERT_TRUE(after);

    const ProcCost cost = ProcStats::cost(*before, *after);
    EXPECT_GE(after->cpuSeconds - before->cpuSeconds, 0.2);
    EXPECT_LT(after->cpuSeconds - before->cpuSeconds, 0.5);
    EXPECT_GT(cost.cpuShare, 0.0);
    EXPECT_LE(cost.cpuShare, 1.05); // one busy thread cannot use more than one core
    // Every sleep is one voluntary switch of this thread.
    EXPECT_GE(std::lround(cost.wakeupsPerSecond * cost.seconds), 30);
    ASSERT_FALSE(cost.threads.empty());
    // The busiest thread is this one, and its own clock agrees with the process's.
    EXPECT_GE(cost.threads.front().cpuShare * cost.seconds, 0.19);
}

TEST(ProcStatsTest, AThreadBornBetweenSamplesCountsFromZero)
{
    const auto before = ProcStats::sample(::getpid());
    std::atomic<bool> measured{false};
    std::thread sleeper([&] {
        for (int i = 0; i < 20; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        while (!measured)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    const auto after = ProcStats::sample(::getpid());
    measured = true;
    sleeper.join();
    ASSERT_TRUE(before && after);

    ASSERT_GT(after->threads.size(), before->threads.size());
    const ProcCost cost = ProcStats::cost(*before, *after);
    EXPECT_GE(std::lround(cost.wakeupsPerSecond * cost.seconds), 20);
}

TEST(ProcStatsTest, AnotherRootFallsBackToClockTicks)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const std::filesystem::path dir = root.filePath("77").toStdString();
    write(dir / "stat", "77 (fake) S 1 77 77 0 -1 0 0 0 0 0 250 50 0 0 20 0 1 0 1 1 1");
    write(dir / "status", "VmHWM:\t2048 kB\nVmRSS:\t1024 kB\n");
    write(dir / "task/77/status", "voluntary_ctxt_switches:\t10\n");
    write(dir / "task/77/schedstat", "5000000 0 0\n");
    write(dir / "task/77/comm", "fake\n");

    const auto sample = ProcStats::sample(77, root.path().toStdString());
    ASSERT_TRUE(sample);
    EXPECT_DOUBLE_EQ(sample->cpuSeconds, 300.0 / static_cast<double>(::sysconf(_SC_CLK_TCK)));
    EXPECT_EQ(sample->peakRssKb, 2048);
    ASSERT_EQ(sample->threads.count(77), 1u);
    EXPECT_EQ(sample->threads.at(77).name, "fake");
    EXPECT_EQ(sample->threads.at(77).cpuNs, 5'000'000);

    EXPECT_FALSE(ProcStats::sample(78, root.path().toStdString()));
}

TEST(ProcStatsTest, CostOverAWindow)
{
    ProcSample before;
    before.cpuSeconds = 1.0;
    before.threads[1] = {"main", 1'000'000'000, 100};
    before.threads[2] = {"gone", 0, 5000};
    ProcSample after = before;
    after.at = before.at + std::chrono::seconds(10);
    after.cpuSeconds = 1.05;
    after.peakRssKb = 30000;
    after.threads.erase(2);
    after.threads[1] = {"main", 1'040'000'000, 150};
    after.threads[3] = {"audio", 10'000'000, 200};

    const ProcCost cost = ProcStats::cost(before, after);
    EXPECT_DOUBLE_EQ(cost.seconds, 10.0);
    EXPECT_NEAR(cost.cpuShare, 0.005, 1e-12);
    EXPECT_DOUBLE_EQ(cost.wakeupsPerSecond, 25.0); // 50 + 200, the ended thread left out
    EXPECT_EQ(cost.peakRssKb, 30000);
    ASSERT_EQ(cost.threads.size(), 2u);
    EXPECT_EQ(cost.threads[0].name, "main");
    EXPECT_NEAR(cost.threads[0].cpuShare, 0.004, 1e-12);
    EXPECT_DOUBLE_EQ(cost.threads[1].wakeupsPerSecond, 20.0);

    EXPECT_EQ(ProcStats::cost(after, after).cpuShare, 0.0); // no time passed: no division
}
