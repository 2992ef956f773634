// Run on a virtual X display with no tray host at the start, by with-display.sh --no-tray:
// NoTrayTest.* without one at all, LateTrayTest.* and LateStatusNotifierTest.* with one that comes
// later. Each case runs in a process of its own, on a display and session bus of its own: Qt keeps
// what it first learns about a StatusNotifier host.
#include "testkit/support/EventLoop.h"
#include "tests/shell/ShellFixture.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QProcess>
#include <QSystemTrayIcon>
#include <vector>

namespace {

struct Step {
    std::function<bool()> until;
    std::function<void()> then;
};

constexpr int kAllStepsRan = 7;

// Runs the steps inside the application's own event loop, each once its condition holds, so
// that a quit asked for on the way ends the loop early and shows: the result is kAllStepsRan
// only when nothing quit. `reached` tells how far it came.
int runSteps(const std::vector<Step>& steps, std::size_t& reached)
{
    reached = 0;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        while (reached < steps.size() && steps[reached].until()) {
            steps[reached].then();
            ++reached;
        }
        if (reached == steps.size())
            QCoreApplication::exit(kAllStepsRan);
    });
    return runUntilQuit([&] { poll.start(); }, std::chrono::seconds(30));
}

void stop(QProcess& process)
{
    process.kill();
    process.waitForFinished(5000);
}

} // namespace

using NoTrayTest = ShellTest;

TEST_F(NoTrayTest, ThePanelOpensAsAWindowAndClosingItQuits)
{
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    forwardQuitNotice();
    auto app = makeApp();
    ASSERT_TRUE(app->start());
    EXPECT_FALSE(app->usesTray());
    ASSERT_NE(app->panel(), nullptr);
    EXPECT_TRUE(spinUntil([&] { return app->panel()->isVisible(); }));
    EXPECT_EQ(app->panel()->windowTitle(), QStringLiteral("Beamwick"));
    EXPECT_EQ(app->panel()->width(), 280);

    const std::size_t before = restores();
    EXPECT_EQ(runUntilQuit([&] { app->panel()->close(); }), 0);
    EXPECT_EQ(restores(), before + 1);
}

using LateTrayTest = ShellTest;

TEST_F(LateTrayTest, ATrayHostStartingLaterTakesTheIconAndTheWindowReturnsWhenItGoes)
{
    using namespace std::chrono_literals;
    auto app = makeApp(1s);
    QElapsedTimer sinceStart;
    sinceStart.start();
    ASSERT_TRUE(app->start());
    EXPECT_FALSE(app->usesTray());
    EXPECT_EQ(app->panel(), nullptr);

    QProcess trayer;
    std::size_t reached = 0;
    const int result = runSteps(
        {
            {[&] { return app->panel() && app->panel()->isVisible(); },
             [&] { EXPECT_GE(sinceStart.elapsed(), 1000); }},
            {[&] { return sinceStart.elapsed() >= 3000; },
             [&] {
                 trayer.start(QStringLiteral("trayer"),
                              {"--edge", "top", "--align", "right", "--widthtype", "request",
                               "--height", "40", "--SetDockType", "true", "--transparent",
                               "false"});
             }},
            // Embedded: the tray host gave the icon a place, and the window went.
            {[&] {
                 return app->usesTray() && app->trayIcon()->geometry().isValid() &&
                        app->panel() == nullptr;
             },
             [&] {
                 EXPECT_TRUE(app->trayIcon()->isVisible());
                 stop(trayer);
             }},
            {[&] { return !app->usesTray() && app->panel() && app->panel()->isVisible(); },
             [&] { EXPECT_EQ(app->panel()->windowType(), Qt::Window); }},
        },
        reached);
    stop(trayer);
    EXPECT_EQ(result, kAllStepsRan) << "stopped before step " << reached + 1;
    EXPECT_EQ(controllersMade, 1);
}

namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");

QDBusMessage callMock(const QString& method, const QVariantList& arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        kWatcher, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Mock"), method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
}

int itemRegistrations()
{
    const QDBusMessage reply =
        callMock(QStringLiteral("GetMethodCalls"), {QStringLiteral("RegisterStatusNotifierItem")});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return 0;
    const auto calls = qvariant_cast<QDBusArgument>(reply.arguments().constFirst());
    int count = 0;
    calls.beginArray();
    while (!calls.atEnd()) {
        calls.beginStructure();
        qulonglong time = 0;
        QVariantList arguments;
        calls >> time >> arguments;
        calls.endStructure();
        ++count;
    }
    calls.endArray();
    return count;
}

} // namespace

using LateStatusNotifierTest = ShellTest;

TEST_F(LateStatusNotifierTest, AWatcherRegisteringLaterGetsTheItemAndTheWindowReturnsWhenItGoes)
{
    using namespace std::chrono_literals;
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected());
    auto app = makeApp(500ms);
    ASSERT_TRUE(app->start());

    QProcess watcher;
    std::size_t reached = 0;
    const int result = runSteps(
        {
            {[&] { return app->panel() && app->panel()->isVisible(); },
             [&] {
                 watcher.start(QStringLiteral("/usr/bin/python3"),
                               {"-m", "dbusmock", kWatcher, kWatcherPath, kWatcher});
             }},
            {[&] {
                 return QDBusConnection::sessionBus().interface()->isServiceRegistered(kWatcher);
             },
             [&] {
                 // A host is registered only once the watcher says so.
                 QVariantMap properties{
                     {QStringLiteral("IsStatusNotifierHostRegistered"), true},
                     {QStringLiteral("ProtocolVersion"), 0},
                     {QStringLiteral("RegisteredStatusNotifierItems"), QStringList()}};
                 EXPECT_EQ(callMock(QStringLiteral("AddProperties"), {kWatcher, properties}).type(),
                           QDBusMessage::ReplyMessage);
                 for (const char* method :
                      {"RegisterStatusNotifierItem", "RegisterStatusNotifierHost"})
                     EXPECT_EQ(callMock(QStringLiteral("AddMethod"),
                                        {kWatcher, QString::fromLatin1(method), QStringLiteral("s"),
                                         QString(), QString()})
                                   .type(),
                               QDBusMessage::ReplyMessage);
                 // As a real watcher does when a host registers with it after it started.
                 EXPECT_EQ(callMock(QStringLiteral("EmitSignal"),
                                    {kWatcher, QStringLiteral("StatusNotifierHostRegistered"),
                                     QString(), QVariantList()})
                               .type(),
                           QDBusMessage::ReplyMessage);
             }},
            {[&] { return app->usesTray() && app->panel() == nullptr && itemRegistrations() > 0; },
             [&] {
                 EXPECT_TRUE(app->trayIcon()->isVisible());
                 stop(watcher);
             }},
            {[&] { return !app->usesTray() && app->panel() && app->panel()->isVisible(); }, [] {}},
        },
        reached);
    stop(watcher);
    EXPECT_EQ(result, kAllStepsRan) << "stopped before step " << reached + 1;
}
