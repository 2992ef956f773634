// The private sound servers the tests and the benchmark run against, started for real and
// stopped again.
#include "testkit/services/PrivateSoundServer.h"

#include "testkit/services/FileText.h"

#include <QTemporaryDir>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace std::chrono_literals;

TEST(PrivateSoundServerTest, EachServerAnswersWithItsDefaultSinkAndLeavesNothingBehind)
{
    using Kind = PrivateSoundServer::Kind;
    for (const PrivateSoundServer::Options options :
         {PrivateSoundServer::Options{Kind::pulseAudio},
          PrivateSoundServer::Options{Kind::pipeWire},
          PrivateSoundServer::Options{.kind = Kind::pipeWire, .standInSink = true}}) {
        std::vector<pid_t> pids;
        std::string directory;
        {
            PrivateSoundServer services(options);
            ASSERT_TRUE(services.start()) << services.errorText();
            pids = services.serverPids();
            directory = services.directory();
            ASSERT_EQ(pids.size(), options.kind == Kind::pipeWire ? 2u : 1u);
            // A client given only the server's address sees the sink as the default.
            const std::string out = directory + "/client.out";
            ChildProcess pactl;
            ASSERT_TRUE(pactl.start(
                {"/usr/bin/pactl", {"info"}, {{"PULSE_SERVER", services.address()}}, out}));
            ASSERT_EQ(pactl.wait(10s), 0) << fileText(out);
            EXPECT_EQ(PrivateSoundServer::defaultSink(fileText(out)), services.sinkName());
            for (const pid_t pid : pids)
                EXPECT_EQ(::kill(pid, 0), 0) << services.name() << " " << pid;
        }
        for (const pid_t pid : pids)
            EXPECT_NE(::kill(pid, 0), 0) << pid << " still runs";
        EXPECT_FALSE(std::filesystem::exists(directory));
    }
}

TEST(PrivateSoundServerTest, ReadsTheDefaultSinkAndTheEndOfALog)
{
    EXPECT_EQ(PrivateSoundServer::defaultSink("Server Name: x\nDefault Sink: auto_null\nDefault "
                                              "Source: auto_null.monitor\n"),
              "auto_null");
    EXPECT_EQ(PrivateSoundServer::defaultSink("Default Sink: @DEFAULT_SINK@\n"), "");
    EXPECT_EQ(PrivateSoundServer::defaultSink("Connection failure: Connection refused\n"), "");

    QTemporaryDir dir;
    const std::string log = dir.filePath("log").toStdString();
    std::ofstream(log) << "one\ntwo\nthree\n";
    EXPECT_EQ(ChildProcess::tail(log, 2), "two\nthree");
    EXPECT_EQ(ChildProcess::tail(log, 8), "one\ntwo\nthree");
    EXPECT_EQ(ChildProcess::tail(dir.filePath("none").toStdString()), "");
}
