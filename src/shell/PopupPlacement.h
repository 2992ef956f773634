#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Where the panel opens: centred under the tray icon, or above it when the panel sits at the
// bottom of the screen, and always wholly on the screen.
namespace PopupPlacement {

// anchor: the tray icon's rectangle (or the pointer's position as a 1x1 rectangle when the tray
// does not report one); screen: the screen's available area.
QPoint place(const QRect& anchor, const QSize& popup, const QRect& screen);

} // namespace PopupPlacement
