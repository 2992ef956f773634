#include "platform/UnixSignalQuit.h"

#include <QCoreApplication>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>

// A blocking call on the way to the event loop can take a SIGTERM in before the loop runs; the
// loop must still end at once rather than run on, signalled, for good.
TEST(UnixSignalQuitTest, ASignalTakenInBeforeTheLoopRunsEndsItAtOnce)
{
    UnixSignalQuit onSignal;
    ASSERT_TRUE(onSignal.installed());
    ::raise(SIGTERM);
    QCoreApplication::processEvents();
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(5000);
    EXPECT_EQ(onSignal.exec(), 0);
}
