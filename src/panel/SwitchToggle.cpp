#include "panel/SwitchToggle.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace {

constexpr double kTrackWidth = 38.0;
constexpr double kTrackHeight = 22.0;
constexpr double kKnobInset = 2.0;
constexpr int kLabelGap = 8;

} // namespace

SwitchToggle::SwitchToggle(const QString& text, QWidget* parent) : QAbstractButton(parent)
{
    setText(text);
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(text);
}

QSize SwitchToggle::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int height = std::max(int(kTrackHeight) + 4, metrics.height() + 4);
    return {metrics.horizontalAdvance(text()) + kLabelGap + int(kTrackWidth) + 4, height};
}

QSize SwitchToggle::minimumSizeHint() const
{
    return sizeHint();
}

bool SwitchToggle::hitButton(const QPoint& pos) const
{
    return rect().contains(pos);
}

QRectF SwitchToggle::trackRect() const
{
    return {width() - kTrackWidth - 1.0, (height() - kTrackHeight) / 2.0, kTrackWidth,
            kTrackHeight};
}

void SwitchToggle::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QRectF track = trackRect();

    const QRect labelRect(0, 0, int(track.left()) - kLabelGap, height());
    painter.setPen(pal.color(QPalette::WindowText));
    painter.drawText(labelRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());

    const double radius = track.height() / 2.0;
    const QColor on = pal.color(QPalette::Highlight);
    const QColor off = pal.color(QPalette::Mid);
    painter.setPen(Qt::NoPen);
    painter.setBrush(isChecked() ? on : off);
    painter.drawRoundedRect(track, radius, radius);

    const double knobDiameter = track.height() - 2 * kKnobInset;
    const double knobX =
        isChecked() ? track.right() - kKnobInset - knobDiameter : track.left() + kKnobInset;
    const QRectF knob(knobX, track.top() + kKnobInset, knobDiameter, knobDiameter);
    // The knob is white on every palette, with a thin edge so it stays visible on a light track.
    painter.setBrush(Qt::white);
    painter.setPen(QPen(QColor(0, 0, 0, 60), 0.75));
    painter.drawEllipse(knob);

    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = track.adjusted(-2, -2, 2, 2).toAlignedRect();
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
    }
}
