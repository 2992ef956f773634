// Writing the light again after something outside Beamwick changed it: the system waking from
// sleep, and the firmware's own brightness keys.
#include "control/LogoController.h"
#include "platform/ChangeNotice.h"
#include "platform/SleepNotice.h"
#include "serviceabi/ServiceContract.h"

namespace {

constexpr const char* kHardwareAttributeKey = ServiceContract::hardwareChangeAttributeKey;
constexpr const char* kHardwareChangedKey = ServiceContract::hardwareBrightnessChangedKey;

} // namespace

void LogoController::watchPlatformChanges(SleepNotice* sleepNotice)
{
    if (sleepNotice)
        connect(sleepNotice, &SleepNotice::resumed, this, &LogoController::handleResume);
    watchHardwareChanges();
}

void LogoController::watchHardwareChanges()
{
    // Each light has its own file, or none: a watch of another light's goes.
    m_hardwareChange.reset();
    if (!m_watchFile)
        return;
    const auto attribute = m_bs->get(kHardwareAttributeKey);
    if (!attribute || !attribute->isString())
        return;
    m_hardwareChange = m_watchFile(attribute->stringValue());
    if (m_hardwareChange)
        connect(m_hardwareChange.get(), &ChangeNotice::changed, this,
                &LogoController::handleHardwareChange);
}

void LogoController::handleResume()
{
    // Firmware often resets a backlight while the machine sleeps. The level goes out again even
    // though it is the one written last, which setLevel would otherwise skip.
    m_bs->set(PropertyValue::integer(m_isOn ? 1 : 0), ServiceContract::backlightModeKey);
    m_lastApplied = -1.0;
    // The sound server may have dropped its streams meanwhile: capture is built anew. A capture
    // already cut off from the server is left to reconnect by itself, as it does while awake;
    // starting it afresh would only fail, for good, while the server is still away.
    if (m_mode == LightMode::music && m_isOn && !m_captureLostStatus)
        stopCapture();
    apply();
}

void LogoController::handleHardwareChange()
{
    if (!m_bs->set(PropertyValue::integer(1), kHardwareChangedKey))
        return;
    const auto backlight = m_bs->get(ServiceContract::backlightModeKey);
    if (backlight && backlight->isNumber())
        publish(m_isOn, backlight->integerValue() != 0);

    // Saved, the brightness the user chose with the key is what later starts dim from and
    // quitting gives back.
    recaptureFactoryBrightness();
    m_lastApplied = -1.0;
    apply();
}
