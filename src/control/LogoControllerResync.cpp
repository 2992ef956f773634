// Writing the light again after something outside Beamwick changed it: the system waking from
// sleep, and the firmware's own brightness keys.
#include "control/LogoController.h"
#include "platform/SleepNotice.h"

void LogoController::watchPlatformChanges(SleepNotice* sleepNotice)
{
    if (sleepNotice)
        connect(sleepNotice, &SleepNotice::resumed, this, &LogoController::handleResume);
    connect(&m_light, &DrivenLight::keyChanged, this, &LogoController::handleHardwareChange);
    m_light.watchKeys();
}

void LogoController::handleResume()
{
    // Firmware often resets a backlight while the machine sleeps. The level goes out again even
    // though it is the one written last, which setLevel would otherwise skip.
    m_light.switchOn(m_isOn);
    m_light.forgetLevel();
    // The sound server may have dropped its streams meanwhile: capture is built anew. A capture
    // already cut off from the server is left to reconnect by itself, as it does while awake;
    // starting it afresh would only fail, for good, while the server is still away.
    if (m_mode == LightMode::music && m_isOn && !m_capture.isLost())
        m_capture.stopForRestart();
    apply();
}

void LogoController::handleHardwareChange()
{
    if (!m_light.acknowledgeKey())
        return;
    if (const auto on = m_light.foundOn())
        publish(m_isOn, *on);
    // Saved, the brightness the user chose with the key is what later starts dim from and
    // quitting gives back.
    m_light.takeKeyChange();
    apply();
}
