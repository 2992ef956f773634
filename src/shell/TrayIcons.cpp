#include "shell/TrayIcons.h"

#include "panel/PanelStyle.h"

#include <QGuiApplication>
#include <QIconEngine>
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

// Draws each size only when it is asked for: a tray host asks for one or a few, and holding
// every size drawn in advance would keep most of a megabyte for the program's whole run.
class CircleEngine : public QIconEngine {
public:
    CircleEngine(bool filled, const QColor& ink, const QColor& halo)
        : m_filled(filled), m_ink(ink), m_halo(halo)
    {}
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const int side = std::min(rect.width(), rect.height());
        painter->drawPixmap(rect.topLeft(), pixmap(QSize(side, side), mode, state));
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        return draw(std::max(1, std::min(size.width(), size.height())), m_filled, m_ink, m_halo);
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (const int size : kSizes)
            sizes.append(QSize(size, size));
        return sizes;
    }
    QIconEngine* clone() const override { return new CircleEngine(*this); }

private:
    bool m_filled;
    QColor m_ink;
    QColor m_halo;
};

} // namespace

namespace TrayIcons {

QIcon circle(bool filled, const QColor& ink, const QColor& halo)
{
    return QIcon(new CircleEngine(filled, ink, halo));
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
