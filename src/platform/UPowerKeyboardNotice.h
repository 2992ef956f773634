#pragma once

#include "platform/DesktopLightNotice.h"
#include "platform/SystemBusReader.h"

#include <optional>

// UPower's keyboard light on the system bus: the brightness a program set through its
// SetBrightness (BrightnessChangedWithSource with the source "external"), read in the Qt event
// loop. Changes the firmware made ("internal") are a brightness key's, which Beamwick sees
// through the LED itself. UPower is followed by its name: it may start after Beamwick, stop or
// restart. Without a system bus the notice never comes.
class UPowerKeyboardNotice final : public DesktopLightNotice {
    Q_OBJECT
public:
    explicit UPowerKeyboardNotice(QObject* parent = nullptr);
    ~UPowerKeyboardNotice() override;

private:
    // sd-bus's handlers, which reach the notice through their user data.
    friend struct UPowerKeyboardCallbacks;
    void askMaxBrightness();
    void postLater(int brightness);
    // The bus went away: what the notice held on it goes, and it serves nothing.
    void letGo();

    sdbus::Slot m_changed;
    sdbus::Slot m_owner;
    sdbus::Slot m_asking;
    SystemBusReader m_reader;
    // The last level heard before UPower said what it serves.
    std::optional<int> m_pending;
    bool m_askPending = false;
};
