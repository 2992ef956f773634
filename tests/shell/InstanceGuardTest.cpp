#include "shell/InstanceGuard.h"

#include "testkit/support/EventLoop.h"
#include "testkit/support/PrivateSession.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

// A client of the guard's socket that sends what it is given and can tell whether it was cut off.
struct RawClient {
    explicit RawClient(const QString& path) : fd(::socket(AF_UNIX, SOCK_STREAM, 0))
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof(address.sun_path));
        connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    }
    ~RawClient() { ::close(fd); }
    void send(const QByteArray& bytes)
    {
        ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), bytes.size());
    }
    bool cutOff()
    {
        char byte;
        return ::recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
    }
    int fd;
    bool connected = false;
};

} // namespace

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
    QFile::remove(first.socketPath());
    InstanceGuard second(dir.path());
    EXPECT_EQ(second.claim(), InstanceGuard::Outcome::unreachable);
}

TEST_F(InstanceGuardTest, OnlyTheUserReachesTheSocketAndNoClientCanBlockOrSwellIt)
{
    InstanceGuard first(dir.path());
    ASSERT_EQ(first.claim(), InstanceGuard::Outcome::primary);
    int requests = 0;
    QObject::connect(&first, &InstanceGuard::showRequested, [&] { ++requests; });
    EXPECT_EQ(QFile::permissions(first.socketPath()) & 0x0077, QFile::Permissions());

    RawClient silent(first.socketPath()), flood(first.socketPath()), chatty(first.socketPath());
    ASSERT_TRUE(silent.connected && flood.connected && chatty.connected);
    chatty.send("nonsense\nshow\nshow and more\n");
    EXPECT_TRUE(spinUntil([&] { return requests == 1; }));
    // A line of the longest length is still read to its end; one byte more and the client goes.
    // (Answered on another client after it, so that it is read before its newline comes.)
    flood.send(QByteArray(LocalLineSocket::maxLine, 'x'));
    chatty.send("show\n");
    EXPECT_TRUE(spinUntil([&] { return requests == 2; }));
    flood.send("\nshow\n");
    EXPECT_TRUE(spinUntil([&] { return requests == 3; }));
    flood.send(QByteArray(LocalLineSocket::maxLine + 1, 'y'));
    EXPECT_TRUE(spinUntil([&] { return flood.cutOff(); }));

    InstanceGuard second(dir.path());
    EXPECT_EQ(second.claim(), InstanceGuard::Outcome::askedPrimary);
    EXPECT_TRUE(spinUntil([&] { return requests == 4; }));

    // Held besides: silent and chatty. A crowd fills the places left; one more, and the longest
    // held goes.
    std::vector<std::unique_ptr<RawClient>> crowd;
    for (std::size_t i = 2; i < LocalLineSocket::maxClients; ++i)
        crowd.push_back(std::make_unique<RawClient>(first.socketPath()));
    crowd.back()->send("show\n");
    EXPECT_TRUE(spinUntil([&] { return requests == 5; }));
    EXPECT_FALSE(silent.cutOff());
    RawClient late(first.socketPath());
    late.send("show\n");
    EXPECT_TRUE(spinUntil([&] { return requests == 6 && silent.cutOff(); }));
    EXPECT_FALSE(chatty.cutOff());
}
