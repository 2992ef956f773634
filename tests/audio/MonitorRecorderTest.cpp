// The record stream over a sound server played by the test.
#include "audio/MonitorRecorder.h"

#include "audio/SoundCapture.h"
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
         .activity = [&](bool flowing) { told.push_back(flowing ? "on" : "off"); },
         .timed = [](const SoundServer::Timing&) {}});
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

// The output's timing is asked for while something plays, and told when the output changes or
// a figure moves by a millisecond; nothing is asked while paused, so the loop can sleep.
TEST(MonitorRecorderTest, TheOutputsTimingIsAskedWhilePlayingAndToldWhenItMatters)
{
    using namespace std::chrono_literals;
    using Timing = AudioMeter::OutputTiming;
    FakeClock clock;
    auto server = std::make_shared<FakeSoundServer>(clock);
    for (const char* sink : {"speakers", "headphones"})
        server->addSink(sink);
    server->setDefault("speakers");
    const auto player = server->addPlayer("speakers", false);
    server->setTiming({120ms, 20ms});
    BassDetector detector;
    std::vector<Timing> told;
    SoundCapture capture({.setUpTimeout = 5s,
                          .retryInterval = 2s,
                          .detector = detector,
                          .measured = [](const auto&) {},
                          .interrupted = [](const auto&) {},
                          .activity = [](bool) {},
                          .timed = [&](const Timing& timing) { told.push_back(timing); }},
                         server);
    ASSERT_FALSE(capture.open());
    server->advance(0s);
    // The stream's latency is counted from the middle of a 512-frame block, at 48 kHz.
    constexpr auto halfBlock = 5333us;
    EXPECT_EQ(told, (std::vector<Timing>{{"speakers", 120ms, 20ms + halfBlock}}));

    const struct {
        SoundServer::Timing timing;
        bool toldAgain;
    } updates[] = {{{120ms + 999us, 20ms}, false},
                   {{121ms, 20ms}, true},
                   {{121ms, 20ms + 999us}, false},
                   {{121ms, 19ms}, true},
                   {{120ms + 1us, 19ms}, false}};
    for (const auto& update : updates) {
        const auto asked = server->timingAsks;
        const auto before = told.size();
        server->setTiming(update.timing);
        server->advance(2s);
        EXPECT_EQ(server->timingAsks, asked + 1);
        EXPECT_EQ(told.size(), before + (update.toldAgain ? 1 : 0))
            << update.timing.output.count() << " us, " << update.timing.stream.count() << " us";
    }

    server->corkPlayer(player, true);
    server->advance(1s);
    const auto asked = server->timingAsks;
    server->advance(10s);
    EXPECT_EQ(server->timingAsks, asked) << "asked while nothing plays";
    EXPECT_EQ(server->armedTimers(), 0u);

    // Another output is told at once, whatever its figures.
    server->addPlayer("headphones", false);
    server->setDefault("headphones");
    server->advance(1s);
    ASSERT_FALSE(told.empty());
    EXPECT_EQ(told.back(), (Timing{"headphones", 120ms + 1us, 19ms + halfBlock}));
    capture.close();
}
