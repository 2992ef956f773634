#include "shell/InstanceGuard.h"
#include "tests/app/BeamwickProcess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

TEST(CommandLineRunTest, AnswersLeaveTheRunningInstanceAloneAndAMistakeExitsTwo)
{
    const PrivateSession session;
    const QProcessEnvironment env = session.environment();
    const QString program = QStringLiteral(BEAMWICK_BINARY);

    // Stands in for a Beamwick already running for this user.
    InstanceGuard running(session.runtime.path());
    ASSERT_EQ(running.claim(), InstanceGuard::Outcome::primary);
    int showRequests = 0;
    QObject::connect(&running, &InstanceGuard::showRequested, [&] { ++showRequests; });

    const auto help = BeamwickRun::of(program, {QStringLiteral("--help")}, env);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("Usage: ")));
    EXPECT_TRUE(help.out.contains(QStringLiteral("--status")));
    EXPECT_TRUE(help.err.isEmpty()) << qPrintable(help.err);

    const auto version = BeamwickRun::of(program, {QStringLiteral("--version")}, env);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QStringLiteral("beamwick " BEAMWICK_VERSION "\n"));

    const auto typo = BeamwickRun::of(program, {QStringLiteral("--stauts")}, env);
    EXPECT_EQ(typo.exitCode, 2);
    EXPECT_TRUE(typo.out.isEmpty());
    EXPECT_TRUE(typo.err.contains(QStringLiteral("Unknown option 'stauts'.")))
        << qPrintable(typo.err);
    EXPECT_TRUE(typo.err.contains(QStringLiteral("--help")));

    const auto status = BeamwickRun::of(program, {QStringLiteral("--status")}, env);
    EXPECT_TRUE(status.exitCode == 0 || status.exitCode == 1) << status.exitCode;
    EXPECT_TRUE(status.out.contains(
        QStringLiteral("Settings file: %1\n")
            .arg(session.home.filePath(QStringLiteral("config/beamwick/settings.json")))))
        << qPrintable(status.out);
    EXPECT_TRUE(status.out.contains(QStringLiteral("LED: "))) << qPrintable(status.out);
    EXPECT_TRUE(status.out.contains(QStringLiteral("Sound server: "))) << qPrintable(status.out);

    // Nothing was saved either: answering is not starting.
    EXPECT_FALSE(QDir(session.home.filePath(QStringLiteral("config/beamwick"))).exists());

    // A plain start still goes through the single-instance guard: its request is the only one,
    // any of the answers' having come before it.
    const auto plain = BeamwickRun::of(program, {}, env);
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_TRUE(spinUntil([&] { return showRequests >= 1; }));
    runPostedTasks();
    EXPECT_EQ(showRequests, 1);
}

TEST(CommandLineRunTest, SecondLaunchOfTheProgramExitsAndLeavesTheFirstRunning)
{
    const PrivateSession session;
    const QProcessEnvironment env = session.environment();

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(QStringLiteral(BEAMWICK_BINARY), {});
    ASSERT_TRUE(first.waitForStarted(5000));
    const QString socket = QDir(session.runtime.path()).filePath(QStringLiteral("beamwick.socket"));
    ASSERT_TRUE(spinUntil([&] { return QFile::exists(socket); }));

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(BEAMWICK_BINARY), {});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    first.terminate();
    if (!first.waitForFinished(5000)) {
        first.kill();
        first.waitForFinished(2000);
    }
}
