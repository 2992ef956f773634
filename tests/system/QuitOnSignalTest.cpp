// The real executable, quitting the ways a desktop ends a process.
#include "serviceabi/ServiceContract.h"
#include "testkit/support/EventLoop.h"
#include "tests/system/PrivateInstall.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>

namespace {

QStringList readLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

// "<ns> <key> <value>" lines written by the recording service module.
QStringList tableWrites(const QString& log)
{
    QStringList values;
    for (const auto& line : readLines(log)) {
        const auto parts = line.split(' ');
        if (parts.size() == 3 && parts[1] == ServiceContract::tableKey)
            values << parts[2];
    }
    return values;
}

class QuitOnSignalTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(install.ready());
        log = install.filePath("writes.log");
        settings = install.settings();
    }

    QProcessEnvironment environment() const
    {
        auto env = install.environment();
        env.insert("BEAMWICK_FAKE_SERVICE_LOG", log);
        return env;
    }

    // Its service module is the recording one.
    PrivateInstall install{FAKE_SERVICE_MODULE_PATH};
    QString log;
    QString settings;
};

} // namespace

TEST_P(QuitOnSignalTest, SignalRestoresTheFactoryTableLast)
{
    ASSERT_TRUE(install.setSettings({{"mode", "Breathe"}}));

    QProcess beamwick;
    beamwick.setProcessEnvironment(environment());
    beamwick.start(install.executable(), {});
    ASSERT_TRUE(beamwick.waitForStarted(5000));
    ASSERT_TRUE(spinUntil([&] { return tableWrites(log).size() >= 4; }))
        << "the breath never wrote a level";

    ::kill(static_cast<pid_t>(beamwick.processId()), GetParam());
    ASSERT_TRUE(beamwick.waitForFinished(10000));
    EXPECT_EQ(beamwick.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(beamwick.exitCode(), 0);

    const auto writes = tableWrites(log);
    ASSERT_FALSE(writes.isEmpty());
    EXPECT_EQ(writes.back(), "[[10,100],[20,400]]");
    EXPECT_EQ(readLines(log).back().split(' ').value(1), ServiceContract::tableKey);
}

TEST_P(QuitOnSignalTest, PendingSettingIsSavedOnTheWayOut)
{
    QProcess probe;
    probe.setProcessEnvironment(environment());
    probe.start(QUIT_PROBE_EXECUTABLE, {FAKE_SERVICE_MODULE_PATH, settings});
    ASSERT_TRUE(probe.waitForStarted(5000));
    ASSERT_TRUE(spinUntil([&] {
        probe.waitForReadyRead(10);
        return probe.canReadLine() && probe.readLine().trimmed() == "ready";
    }));

    ::kill(static_cast<pid_t>(probe.processId()), GetParam());
    ASSERT_TRUE(probe.waitForFinished(10000));
    EXPECT_EQ(probe.exitCode(), 0);

    QFile file(settings);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const auto saved = QJsonDocument::fromJson(file.readAll()).object();
    EXPECT_EQ(saved.value("brightness").toDouble(), 2.5);
    EXPECT_EQ(tableWrites(log).back(), "[[10,100],[20,400]]");
}

INSTANTIATE_TEST_SUITE_P(Signals, QuitOnSignalTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& info) {
                             return "SIG" + std::string(sigabbrev_np(info.param));
                         });
