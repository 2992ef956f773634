// The private sound servers the benchmark runs against, started for real and stopped again.
#include "harness/PrivateServices.h"

#include "harness/WriteLog.h"

#include <QTemporaryDir>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace std::chrono_literals;

TEST(PrivateServicesTest, EachServerAnswersWithItsDefaultSinkAndLeavesNothingBehind)
{
    for (const auto server :
         {PrivateServices::Server::PulseAudio, PrivateServices::Server::PipeWire}) {
        if (server == PrivateServices::Server::PipeWire &&
            ::access("/usr/bin/pipewire-pulse", X_OK))
            GTEST_SKIP() << "PipeWire is not installed (scripts/install-deps.sh)";
        std::vector<pid_t> pids;
        std::string directory;
        {
            PrivateServices services(server);
            ASSERT_TRUE(services.start()) << services.errorText();
            pids = services.serverPids();
            directory = services.directory();
            ASSERT_EQ(pids.size(), server == PrivateServices::Server::PipeWire ? 2u : 1u);
            // A client given only the server's address sees the sink as the default.
            const std::string out = directory + "/client.out";
            ChildProcess pactl;
            ASSERT_TRUE(pactl.start(
                {"/usr/bin/pactl", {"info"}, {{"PULSE_SERVER", services.pulseServer()}}, out}));
            ASSERT_EQ(pactl.wait(10s), 0) << WriteLog::readAll(out);
            EXPECT_EQ(PrivateServices::defaultSink(WriteLog::readAll(out)), services.sinkName());
            for (const pid_t pid : pids)
                EXPECT_EQ(::kill(pid, 0), 0) << services.serverName() << " " << pid;
        }
        for (const pid_t pid : pids)
            EXPECT_NE(::kill(pid, 0), 0) << pid << " still runs";
        EXPECT_FALSE(std::filesystem::exists(directory));
    }
}

TEST(PrivateServicesTest, ReadsTheDefaultSinkAndTheEndOfALog)
{
    EXPECT_EQ(PrivateServices::defaultSink("Server Name: x\nDefault Sink: auto_null\nDefault "
                                           "Source: auto_null.monitor\n"),
              "auto_null");
    EXPECT_EQ(PrivateServices::defaultSink("Default Sink: @DEFAULT_SINK@\n"), "");
    EXPECT_EQ(PrivateServices::defaultSink("Connection failure: Connection refused\n"), "");

    QTemporaryDir dir;
    const std::string log = dir.filePath("log").toStdString();
    std::ofstream(log) << "one\ntwo\nthree\n";
    EXPECT_EQ(PrivateServices::tail(log, 2), "two\nthree");
    EXPECT_EQ(PrivateServices::tail(log, 8), "one\ntwo\nthree");
    EXPECT_EQ(PrivateServices::tail(dir.filePath("none").toStdString()), "");
}
