// The capture's set-up steps over a sound server played by the test: each failure names its step.
#include "audio/SoundServerMeter.h"
#include "testkit/fakes/FakeSoundServer.h"

#include <gtest/gtest.h>

namespace {

using Refusal = FakeSoundServer::Refusal;

// Each step after connecting, failed: the start throws the step's text with the server's error
// code, leaves neither stream, connection nor timer behind, and the same meter then starts afresh.
TEST(CaptureSteps, EachStepAfterConnectingFailsWithItsTextAndCodeAndLeavesNothing)
{
    FakeClock clock;
    auto server = std::make_shared<FakeSoundServer>(clock);
    server->addSink("speakers");
    server->setDefault("speakers");
    SoundServerMeter::Options options;
    options.soundServer = [server] { return server; };
    SoundServerMeter meter(options);
    const struct {
        Refusal refusal;
        const char* step;
        // The server's code and its words for it, as the client library has them.
        int status;
        const char* words;
        // With the server's words for the code, where there are any.
        const char* description;
    } steps[] = {
        {Refusal::defaultSink, "Finding the default output", 11, "Connection terminated",
         "Finding the default output failed, code 11: Connection terminated"},
        // A sink without a monitor to record from.
        {Refusal::monitor, "Reading the output's monitor", 0, "",
         "Reading the output's monitor failed, code 0"},
        {Refusal::streamCreation, "Creating listener", 3, "Invalid argument",
         "Creating listener failed, code 3: Invalid argument"},
        {Refusal::streamConnection, "Starting listener", 15, "Bad state",
         "Starting listener failed, code 15: Bad state"},
        {Refusal::streamReady, "Starting audio", 18, "Too large",
         "Starting audio failed, code 18: Too large"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.step);
        server->refuseNext(step.refusal, {step.status, step.words});
        try {
            meter.start();
            ADD_FAILURE() << "the start succeeded";
        } catch (const MeterError& error) {
            EXPECT_EQ(error.step(), step.step);
            EXPECT_EQ(error.status(), step.status);
            EXPECT_EQ(error.errorDescription(), step.description);
        }
        EXPECT_FALSE(meter.isRunning());
        EXPECT_FALSE(server->stream());
        EXPECT_FALSE(server->connected());
        EXPECT_EQ(server->armedTimers(), 0u);

        meter.start();
        ASSERT_TRUE(server->stream());
        EXPECT_TRUE(server->stream()->ready);
        meter.stop();
        EXPECT_FALSE(server->connected());
    }
}

} // namespace
