#pragma once

#include "platform/DesktopLightNotice.h"
#include "platform/SystemBusReader.h"

#include <optional>

struct sd_bus_slot;

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

    sd_bus_slot* m_changed = nullptr;
    sd_bus_slot* m_owner = nullptr;
    sd_bus_slot* m_asking = nullptr;
    SystemBusReader m_reader;
    // The last level heard before UPower said what it serves.
    std::optional<int> m_pending;
    bool m_askPending = false;
};
