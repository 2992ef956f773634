#include "shell/TrayIcons.h"

#include "panel/PanelStyle.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

namespace {

constexpr int kSizes[] = {16, 20, 22, 24, 32, 40, 48, 64, 96, 128, 256};

QPixmap draw(int size, bool filled, const QColor& ink, const QColor& halo)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);

    // A whole-pixel halo at small sizes, growing gently with the icon.
    const double haloWidth = std::max(1.0, size / 16.0);
    const double ringWidth = std::max(2.0, size / 8.0);
    const QPointF centre(size / 2.0, size / 2.0);
    const double outer = size / 2.0 - haloWidth - 0.5;

    QPainterPath shape;
    shape.addEllipse(centre, outer, outer);
    if (!filled) {
        const double inner = outer - ringWidth;
        shape.addEllipse(centre, inner, inner);
        shape.setFillRule(Qt::OddEvenFill);
    }

    painter.setPen(QPen(halo, 2 * haloWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    painter.drawPath(shape);
    return pixmap;
}

} // namespace

namespace TrayIcons {

QIcon circle(bool filled, const QColor& ink, const QColor& halo)
{
    QIcon icon;
    for (const int size : kSizes)
        icon.addPixmap(draw(size, filled, ink, halo));
    return icon;
}

QIcon circle(bool filled)
{
    const QPalette palette = QGuiApplication::palette();
    const QColor ink = palette.color(QPalette::WindowText);
    QColor halo = palette.color(QPalette::Window);
    halo.setAlphaF(0.6f);
    return circle(filled, ink, halo);
}

} // namespace TrayIcons
