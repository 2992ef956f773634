#include "panel/PanelText.h"

#include <cmath>

namespace {

// Shown for a value no slider can produce: only a hand-edited settings file holds one.
const QString kNotANumber = QStringLiteral("—");
// Past this a percentage is no longer a whole number a double holds exactly, and far too wide.
constexpr double kLargestPercent = 1e15;

// QString::number always formats with the C locale, unlike QLocale::toString.
QString oneDecimal(double value)
{
    if (!std::isfinite(value))
        return kNotANumber;
    return QString::number(value, 'f', 1);
}

} // namespace

namespace PanelText {

QString brightness(double brightness)
{
    const double percent = brightness * 100.0;
    if (!std::isfinite(percent) || std::abs(percent) >= kLargestPercent)
        return kNotANumber + QLatin1Char('%');
    // Adding zero turns a negative zero into a plain one, so -0.001 reads "0%", not "-0%".
    return QString::number(std::trunc(percent) + 0.0, 'f', 0) + QLatin1Char('%');
}

QString speed(double breatheSeconds)
{
    return oneDecimal(breatheSeconds) + QStringLiteral("s per breath");
}

QString sensitivity(double sensitivity)
{
    return oneDecimal(sensitivity) + QChar(0x00D7);
}

QString delay(double milliseconds)
{
    const double whole = std::round(milliseconds) + 0.0;
    const QString number = QString::number(std::abs(whole), 'f', 0);
    const QString sign = whole > 0   ? QStringLiteral("+")
                         : whole < 0 ? QString(QChar(0x2212))
                                     : QString();
    return sign + number + QStringLiteral(" ms");
}

} // namespace PanelText
