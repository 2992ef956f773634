// GoogleTest's main with a Qt application object, so tests can use timers and queued calls.
#include <gtest/gtest.h>

#ifdef BEAMWICK_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv)
{
#ifdef BEAMWICK_TEST_GUI
    // Test discovery runs the executable without the tests' environment: never reach for a
    // display unless a test's runner asked for one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
