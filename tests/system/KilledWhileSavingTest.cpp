// A process killed outright in the middle of saving must leave the old or the new settings file,
// never a damaged one.
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

TEST(KilledWhileSavingTest, SettingsFileIsNeverDamaged)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("settings.json");
    QRandomGenerator random(1234);
    constexpr int kTrials = 200;
    int killedMidRun = 0;
    for (int trial = 0; trial < kTrials; ++trial) {
        QProcess probe;
        probe.start(SAVE_PROBE_EXECUTABLE, {path});
        ASSERT_TRUE(probe.waitForStarted(5000));
        ASSERT_TRUE(probe.waitForReadyRead(5000));
        QThread::usleep(random.bounded(20000));
        if (probe.state() == QProcess::Running)
            ++killedMidRun;
        ::kill(static_cast<pid_t>(probe.processId()), SIGKILL);
        ASSERT_TRUE(probe.waitForFinished(5000));

        QFile file(path);
        if (!file.exists())
            continue; // killed before the first save finished: the old (absent) file
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QJsonParseError error{};
        const auto document = QJsonDocument::fromJson(file.readAll(), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << "trial " << trial;
        const auto mode = document.object().value("mode").toString();
        ASSERT_TRUE(mode == "Music" || mode == "Breathe") << mode.toStdString();
        ASSERT_EQ(document.object().value("baseMap").toArray().size(), 2000);
    }
    EXPECT_EQ(killedMidRun, kTrials);
    std::printf("%d kills while saving, file intact after each\n", killedMidRun);
}
