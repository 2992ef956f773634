// The record stream over a sound server played by the test.
#include "audio/MonitorRecorder.h"

#include "testkit/fakes/FakeSoundServer.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

// Audio the stream has received when the capture decides to pause was played before the pause,
// though the audio thread has not read it yet: every block of it is measured ahead of the report
// that levels stop, and nothing is left in the stream for after the pause.
TEST(MonitorRecorderTest, AudioReceivedBeforeAPauseIsMeasuredBeforeLevelsStop)
{
    FakeClock clock;
    FakeSoundServer server(clock);
    server.addSink("speakers");
    BassDetector detector;
    std::vector<std::string> told;
    MonitorRecorder recorder(
        server, detector,
        {.ready = [&] { told.push_back("ready"); },
         .ended = [&](const auto&, bool) { told.push_back("ended"); },
         .measured = [&](const BassDetector::Level&) { told.push_back("level"); },
         .activity = [&](bool flowing) { told.push_back(flowing ? "on" : "off"); }});
    server.connect({.ready = [] {}, .lost = [](const auto&) {}, .changed = [](auto, auto) {}});
    server.advance({});
    ASSERT_FALSE(
        recorder.open({*server.sinkIndex("speakers"), "speakers.monitor", 2, 48000, {}}, true));
    server.advance({});
    ASSERT_EQ(told, std::vector<std::string>{"ready"});

    // Received, but not yet read: the audio thread has fallen behind.
    for (int block = 0; block < 3; ++block)
        ASSERT_TRUE(server.feed(0.5f));
    recorder.setPaused(true);
    server.advance(std::chrono::seconds(1));
    EXPECT_EQ(told, (std::vector<std::string>{"ready", "level", "level", "level", "off"}));
    EXPECT_TRUE(server.stream()->corked);
}
