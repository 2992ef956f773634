#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

// The panel's text styles and colours, derived from the desktop's own font and palette so that
// they follow the user's font size and light or dark theme.
namespace PanelStyle {

enum class TextRole { headline, callout, caption, caption2 };

// headline: the body size in bold; callout: the body size; caption and caption2: one and two
// steps smaller, never below a legible floor.
QFont font(TextRole role, const QFont& base);
// The base font if its digits all have the same advance, else the desktop's fixed-width font at
// the same size, so a value that changes while a slider moves does not jitter.
QFont tabularDigits(const QFont& base);

// Dimmed text: the text colour blended towards the background.
QColor secondaryText(const QPalette& palette);
// A red that stays readable on the palette's background, light or dark.
QColor errorText(const QPalette& palette);
// Whether the palette draws light text on a dark background.
bool isDark(const QPalette& palette);

} // namespace PanelStyle
