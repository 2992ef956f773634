#include "harness/MicroBenchmarks.h"
#include "harness/PeerClient.h"
#include "harness/ResultTable.h"
#include "harness/RunReport.h"

#include <gtest/gtest.h>

namespace {

const char* kBenchmarkJson = R"({
  "context": {"date": "today", "num_cpus": 2},
  "benchmarks": [
    {"name": "BassDetector/512 stereo frames at 48 kHz", "run_type": "iteration",
     "iterations": 100, "real_time": 1.5, "cpu_time": 1.4, "time_unit": "us",
     "frames/s": 3.4e8, "x realtime": 7100.5},
    {"name": "setLevelTable/1024", "run_type": "iteration", "iterations": 10,
     "real_time": 0.36, "cpu_time": 0.36, "time_unit": "ms", "rows": 1024},
    {"name": "setLevelTable/1024_mean", "run_type": "aggregate", "real_time": 99,
     "time_unit": "ns"},
    {"name": "handleAudioPerBlock", "run_type": "iteration", "iterations": 5,
     "real_time": 14.2, "cpu_time": 14.0, "time_unit": "ns"}
  ]
})";

ProcCost costOf(double share, double wakeups, long long peakKb)
{
    ProcCost cost;
    cost.seconds = 60;
    cost.cpuShare = share;
    cost.wakeupsPerSecond = wakeups;
    cost.peakRssKb = peakKb;
    return cost;
}

const ResultTable::Row* rowOf(const ResultTable& table, const std::string& figure)
{
    for (const auto& row : table.rows())
        if (row.figure == figure)
            return &row;
    return nullptr;
}

} // namespace

TEST(ReportTest, BenchmarkReportsGiveNanosecondsAndCountersButNoAggregates)
{
    const auto entries = MicroBenchmarks::parse(kBenchmarkJson);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 3u);
    const auto* detector =
        MicroBenchmarks::find(*entries, "BassDetector/512 stereo frames at 48 kHz");
    ASSERT_TRUE(detector);
    EXPECT_DOUBLE_EQ(detector->nanoseconds, 1500.0);
    EXPECT_DOUBLE_EQ(detector->counters.at("x realtime"), 7100.5);
    EXPECT_EQ(detector->counters.count("iterations"), 0u);
    EXPECT_DOUBLE_EQ(MicroBenchmarks::find(*entries, "setLevelTable/1024")->nanoseconds, 360000.0);
    EXPECT_FALSE(MicroBenchmarks::find(*entries, "setLevelTable/1024_mean"));

    EXPECT_FALSE(MicroBenchmarks::parse("not json"));
    EXPECT_FALSE(MicroBenchmarks::parse(R"({"context": {}})"));
}

TEST(ReportTest, VerdictsSayByHowMuchATargetIsMissed)
{
    EXPECT_EQ(ResultTable::atMost(15.0, 15.0, " ms", 1), "met");
    EXPECT_EQ(ResultTable::atMost(17.25, 15.0, " ms", 1), "missed by 2.2 ms");
    EXPECT_EQ(ResultTable::atMost(std::nullopt, 15.0, " ms", 1), "not measured");
    EXPECT_EQ(ResultTable::number(std::nullopt, 2), "n/a");
    EXPECT_EQ(ResultTable::number(0.126, 2), "0.13");
}

TEST(ReportTest, CellsCannotBreakTheTable)
{
    ResultTable table;
    table.add({"a | b", "line\nbreak", "t", "v", "m"});
    const std::string text = table.markdown();
    EXPECT_NE(text.find("| a \\| b | line break | t | v | m |\n"), std::string::npos) << text;
}

TEST(ReportTest, AFullReportJudgesEachTargetAndListsTheMissedOnes)
{
    RunReport report;
    report.windowSeconds = 60;
    LatencyMatch::Summary latency;
    latency.onsets = 4;
    latency.missed = 1;
    latency.delaysMs = {6.0, 8.0, 30.0};
    report.pulse.latency = latency;
    report.steady.cost = costOf(0.0001, 0.0, 30 * 1024);
    report.breathe.cost = costOf(0.002, 20.0, 31 * 1024);
    report.pulse.music.cost = costOf(0.013, 400.0, 45 * 1024);
    report.serverPlaybackOnly = costOf(0.03, 100, 0);
    report.serverWithBeamwick = costOf(0.05, 300, 0);
    report.pulse.sideBySideBeamwick = costOf(0.02, 0, 0);
    report.pulse.sideBySidePeer = costOf(0.04, 0, 0);
    report.pulse.sideBySideFloor = costOf(0.016, 0, 0);
    report.micro = *MicroBenchmarks::parse(kBenchmarkJson);

    const ResultTable table = report.table();
    EXPECT_EQ(rowOf(table, "Beat-to-light latency, median")->verdict, "met"); // 8 ms, the limit
    EXPECT_EQ(rowOf(table, "Beat-to-light latency, 95th percentile")->verdict, "missed by 16.0 ms");
    EXPECT_EQ(rowOf(table, "Kicks without a flash")->verdict, "missed by 1");
    EXPECT_EQ(rowOf(table, "CPU, Steady")->verdict, "met");
    EXPECT_EQ(rowOf(table, "CPU, Breathe")->result, "0.20 % of a core");
    EXPECT_EQ(rowOf(table, "CPU, Music, kicks playing")->verdict, "missed by 0.50 %");
    EXPECT_EQ(rowOf(table, "Peak resident memory, Music, kicks playing")->verdict,
              "missed by 5.0 MB");
    EXPECT_EQ(rowOf(table, "Sound server CPU, playback alone → with Beamwick capturing")->result,
              "3.00 % → 5.00 % (+2.00 %)");
    EXPECT_EQ(rowOf(table, "Side by side: Beamwick ÷ cava, CPU")->result,
              "0.50 × (2.00 % vs 4.00 %)");
    EXPECT_EQ(rowOf(table, "Side by side: Beamwick ÷ cava, CPU")->verdict, "met");
    EXPECT_EQ(rowOf(table, "Side by side: Beamwick ÷ floor client, CPU")->result,
              "1.25 × (2.00 % vs 1.60 %)");
    EXPECT_EQ(rowOf(table, "Side by side: Beamwick ÷ floor client, CPU")->verdict,
              "missed by 0.05 ×");
    EXPECT_EQ(rowOf(table, "setLevel with a 1024-row table")->result, "360.00 µs per call");
    EXPECT_FALSE(rowOf(table, "setLevel with a 2-row table")); // not in this report
    EXPECT_EQ(rowOf(table, "handleAudio")->result, "14 ns per call");

    const std::string doc = report.document("bench/run.sh");
    EXPECT_NE(doc.find("Generated by `bench/run.sh`"), std::string::npos);
    EXPECT_NE(doc.find("- CPU, Music, kicks playing: missed by 0.50 %"), std::string::npos);
    EXPECT_EQ(doc.find("- CPU, Steady:"), std::string::npos);
}

TEST(ReportTest, AnEmptyReportSaysNothingWasMeasuredInsteadOfInventingFigures)
{
    const ResultTable table = RunReport{}.table();
    EXPECT_EQ(rowOf(table, "Beat-to-light latency, median")->verdict, "not measured");
    EXPECT_EQ(rowOf(table, "CPU, Breathe")->result, "n/a");
    EXPECT_EQ(rowOf(table, "Side by side: Beamwick ÷ cava, CPU")->result, "n/a × (n/a % vs n/a %)");
    EXPECT_NE(RunReport{}.document("x").find("- Kicks without a flash: not measured"),
              std::string::npos);
}

TEST(ReportTest, TheMachineIsDescribedFromProc)
{
    EXPECT_EQ(RunReport::cpuModel("processor\t: 0\nmodel name\t: AMD EPYC 7B13\nflags\t: x\n"
                                  "model name\t: other\n"),
              "AMD EPYC 7B13");
    EXPECT_EQ(RunReport::cpuModel("processor\t: 0\n"), "unknown");
    const auto machine = RunReport::describeMachine();
    EXPECT_GT(machine.cores, 0u);
    EXPECT_NE(machine.kernel.find("Linux"), std::string::npos);
}

TEST(ReportTest, ThePeerCapturesTheNamedSourceAndDrawsNothing)
{
    const std::string config = PeerClient::configuration("test_sink.monitor");
    EXPECT_NE(config.find("method = pulse\nsource = test_sink.monitor\n"), std::string::npos);
    EXPECT_NE(config.find("method = raw\nraw_target = /dev/null\n"), std::string::npos);
}

TEST(ReportTest, ThePerThreadRowNamesTheBusyThreadsAndTheCostOfEachWakeup)
{
    RunReport report;
    ProcCost music = costOf(0.02, 420, 0);
    music.threads = {{"beamwick.audio", 0.01, 200.0},
                     {"beamwick", 0.0088, 220.0},
                     {"QDBusConnection", 0.0, 0.0}};
    report.pulse.music.cost = music;
    report.pulse.musicLowLatency.cost = music;
    ProcCost breathe = costOf(0.0, 0.0, 0);
    breathe.threads = {{"beamwick", 0.0, 0.0}};
    report.breathe.cost = breathe;

    const ResultTable table = report.table();
    EXPECT_EQ(rowOf(table, "Per thread, Music, kicks playing")->result,
              "beamwick.audio 1.00 %, 200.0 /s (50 µs each); beamwick 0.88 %, 220.0 /s (40 µs "
              "each)");
    EXPECT_EQ(rowOf(table, "Per thread, Breathe")->result, "all asleep");
    EXPECT_FALSE(rowOf(table, "Per thread, Steady"));
    const auto main =
        rowOf(table, "Main thread per wake-up, Music beside a 20 ms low-latency player");
    EXPECT_EQ(main->result, "40.0 µs");
    EXPECT_EQ(main->verdict, "missed by 25.0 µs");
}

TEST(ReportTest, NothingPlayingIsJudgedOnWakeupsAndPipeWireGetsRowsOfItsOwnOnlyWhenMeasured)
{
    RunReport report;
    report.windowSeconds = 60;
    report.pulse.nothingPlaying.cost = costOf(0.0003, 0.2, 30 * 1024);
    report.pulse.sideBySideBeamwick = costOf(0.012, 0, 0);
    report.pulse.sideBySidePeer = costOf(0.02, 0, 0);
    EXPECT_FALSE(rowOf(report.table(), "CPU, Music, nothing playing (PipeWire)"));

    report.pipewire.emplace();
    ProcCost idle = costOf(0.0006, 20.0, 30 * 1024);
    idle.threads = {{"beamwick", 0.0006, 20.0}};
    report.pipewire->nothingPlaying.cost = idle;
    LatencyMatch::Summary low;
    low.onsets = 2;
    low.delaysMs = {9.0, 9.0};
    report.pipewire->latencyLowLatency = low;

    const ResultTable table = report.table();
    EXPECT_EQ(rowOf(table, "CPU, Music, nothing playing")->verdict, "met");
    EXPECT_EQ(rowOf(table, "Wake-ups, Music, nothing playing")->verdict, "met");
    EXPECT_EQ(rowOf(table, "Wake-ups, Music, nothing playing")->target, "none periodic (≤ 1 /s)");
    EXPECT_EQ(rowOf(table, "Side by side: Beamwick ÷ cava, CPU")->verdict, "missed by 0.10 ×");
    EXPECT_EQ(rowOf(table, "CPU, Music, nothing playing (PipeWire)")->verdict, "missed by 0.01 %");
    EXPECT_EQ(rowOf(table, "Wake-ups, Music, nothing playing (PipeWire)")->verdict,
              "missed by 19.0 /s");
    EXPECT_EQ(rowOf(table, "Per thread, Music, nothing playing (PipeWire)")->result,
              "beamwick 0.06 %, 20.0 /s (30 µs each)");
    EXPECT_EQ(
        rowOf(table, "Beat-to-light latency beside a 20 ms low-latency player (PipeWire)")->verdict,
        "median missed by 1.0 ms");
    EXPECT_EQ(rowOf(table, "Beat-to-light latency, median (PipeWire)")->verdict, "not measured");
    EXPECT_EQ(rowOf(table, "CPU, Music, kicks playing (PipeWire)")->target, "≤ 0.8 %");
    // cava is optional on PipeWire: no row rather than a missed target.
    EXPECT_FALSE(rowOf(table, "Side by side: Beamwick ÷ cava, CPU (PipeWire)"));
}
