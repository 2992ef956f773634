#pragma once

#include <QColor>
#include <QIcon>

// The tray item's two faces: a filled circle while the light is on, an outlined circle while it
// is off. Each size is drawn on its own, so the edges stay crisp at every tray size; the glyph
// is drawn in ink with a thin halo of the opposite brightness, so it stays visible on a panel
// lighter or darker than expected.
namespace TrayIcons {

QIcon circle(bool filled, const QColor& ink, const QColor& halo);
// Ink and halo taken from the application's palette.
QIcon circle(bool filled);

} // namespace TrayIcons
