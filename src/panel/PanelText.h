#pragma once

#include <QString>

// The value texts of the panel's slider rows. They always use a point as the decimal separator,
// whatever the user's locale, so they read the same everywhere.
namespace PanelText {

// The integer part of brightness × 100 followed by "%": truncated, so 0.29 reads 28%.
QString brightness(double brightness);
// "4.0s per breath".
QString speed(double breatheSeconds);
// "1.5×".
QString sensitivity(double sensitivity);
// "+120 ms", "0 ms", "−40 ms": whole milliseconds, signed.
QString delay(double milliseconds);

} // namespace PanelText
