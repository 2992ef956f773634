#pragma once

#include "platform/DarkConditions.h"

#include <QString>
#include <optional>

// Why the light is held dark though the user left it on: nobody can see it (the lid is closed),
// or the user asked for it dark while the session is locked or the computer runs on battery. The
// lid comes first: it is the one that holds whatever the user chose.
enum class DarkReason { lidClosed, locked, onBattery };

struct DarkChoices {
    bool whenLocked = false;
    bool onBattery = false;
};

// A condition nobody on the system answers for never darkens the light.
std::optional<DarkReason> darkReasonFor(const DarkConditions::Values& values, DarkChoices choices);
// In the user's words, as the panel, the bus and the command line say it.
QString darkReasonText(DarkReason reason);
