// Handing the light back at quit, and the legacy privilege rule.
#include "control/LogoController.h"
#include "platform/PrivilegedRunner.h"
#include "platform/WillTerminate.h"

void LogoController::registerForTermination(WillTerminate& willTerminate)
{
    // The controller is the receiver, so the connection dies with it: a notice after the
    // controller is gone does nothing.
    connect(&willTerminate, &WillTerminate::willTerminate, this,
            &LogoController::handleWillTerminate);
}

void LogoController::handleWillTerminate()
{
    m_capture.meter().stop();
    // A light whose hand-back failed earlier in this run or an earlier one gets another try.
    m_light.handBack();
}

void LogoController::removeOldSudoRule()
{
    // By its full path: run as root, an "rm" found in the user's PATH could be anything.
    const char* rm = m_fileExists("/usr/bin/rm") ? "/usr/bin/rm" : "/bin/rm";
    m_privilegedRunner.run({rm, "-f", sudoRulePath});
    publish(m_hasOldSudoRule, m_fileExists(sudoRulePath));
}
