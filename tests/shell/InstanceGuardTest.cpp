#include "shell/InstanceGuard.h"

#include "testkit/support/EventLoop.h"
#include "testkit/support/PrivateSession.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

class InstanceGuardTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
};

TEST_F(InstanceGuardTest, SecondLaunchAsksTheFirstToShowItself)
{
    InstanceGuard first(dir.path());
    ASSERT_EQ(first.claim(), InstanceGuard::Outcome::primary);
    int requests = 0;
    QObject::connect(&first, &InstanceGuard::showRequested, [&] { ++requests; });

    InstanceGuard second(dir.path());
    EXPECT_EQ(second.claim(), InstanceGuard::Outcome::askedPrimary);
    EXPECT_TRUE(spinUntil([&] { return requests == 1; }));

    InstanceGuard third(dir.path());
    EXPECT_EQ(third.claim(), InstanceGuard::Outcome::askedPrimary);
    EXPECT_TRUE(spinUntil([&] { return requests == 2; }));
}

TEST_F(InstanceGuardTest, LeftoversOfACrashedInstanceDoNotBlockTheNextStart)
{
    // A Beamwick killed outright leaves its lock and its socket file behind.
    const PrivateSession session;
    const QString dir = session.runtime.path();
    QProcess crashed;
    crashed.setProcessEnvironment(session.environment());
    crashed.start(QStringLiteral(BEAMWICK_BINARY), {});
    ASSERT_TRUE(crashed.waitForStarted(5000));
    const QString socket = QDir(dir).filePath(QStringLiteral("beamwick.socket"));
    ASSERT_TRUE(spinUntil([&] { return QFile::exists(socket); }));
    crashed.kill();
    ASSERT_TRUE(crashed.waitForFinished(5000));
    ASSERT_TRUE(QFile::exists(socket));

    InstanceGuard guard(dir);
    EXPECT_EQ(guard.claim(), InstanceGuard::Outcome::primary);
    int requests = 0;
    QObject::connect(&guard, &InstanceGuard::showRequested, [&] { ++requests; });
    InstanceGuard later(dir);
    EXPECT_EQ(later.claim(), InstanceGuard::Outcome::askedPrimary);
    EXPECT_TRUE(spinUntil([&] { return requests == 1; }));
}

TEST_F(InstanceGuardTest, APrimaryThatNeverAnswersIsReportedNotWaitedOnForever)
{
    InstanceGuard first(dir.path());
    ASSERT_EQ(first.claim(), InstanceGuard::Outcome::primary);
    // The socket goes away: the lock is held, but no one answers.
    QLocalServer::removeServer(first.socketPath());
    InstanceGuard second(dir.path());
    EXPECT_EQ(second.claim(), InstanceGuard::Outcome::unreachable);
}
