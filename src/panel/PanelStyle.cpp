#include "panel/PanelStyle.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <algorithm>

namespace {

// Below this the small captions of a 96 dpi screen stop being readable.
constexpr double kSmallestPointSize = 6.5;

double pointSizeOf(const QFont& font)
{
    if (font.pointSizeF() > 0)
        return font.pointSizeF();
    // A font sized in pixels: assume 96 dpi, which is what Qt reports without a screen.
    return font.pixelSize() * 72.0 / 96.0;
}

QColor blend(const QColor& a, const QColor& b, double amountOfB)
{
    const auto mix = [amountOfB](double x, double y) { return x + (y - x) * amountOfB; };
    return QColor::fromRgbF(float(mix(a.redF(), b.redF())), float(mix(a.greenF(), b.greenF())),
                            float(mix(a.blueF(), b.blueF())));
}

} // namespace

namespace PanelStyle {

QFont font(TextRole role, const QFont& base)
{
    QFont font = base;
    const double size = pointSizeOf(base);
    switch (role) {
    case TextRole::headline:
        font.setPointSizeF(size);
        font.setWeight(QFont::Bold);
        break;
    case TextRole::callout:
        font.setPointSizeF(size);
        break;
    case TextRole::caption:
        font.setPointSizeF(std::max(kSmallestPointSize + 1.0, size * 0.9));
        break;
    case TextRole::caption2:
        font.setPointSizeF(std::max(kSmallestPointSize, size * 0.8));
        break;
    }
    return font;
}

QFont tabularDigits(const QFont& base)
{
    const QFontMetricsF metrics(base);
    const double zero = metrics.horizontalAdvance(QLatin1Char('0'));
    for (char digit = '1'; digit <= '9'; ++digit) {
        if (metrics.horizontalAdvance(QLatin1Char(digit)) != zero) {
            QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
            fixed.setPointSizeF(pointSizeOf(base));
            return fixed;
        }
    }
    return base;
}

bool isDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightnessF() <
           palette.color(QPalette::WindowText).lightnessF();
}

QColor secondaryText(const QPalette& palette)
{
    return blend(palette.color(QPalette::WindowText), palette.color(QPalette::Window), 0.45);
}

QColor errorText(const QPalette& palette)
{
    return isDark(palette) ? QColor(0xff, 0x6b, 0x6b) : QColor(0xc0, 0x1c, 0x1c);
}

} // namespace PanelStyle
