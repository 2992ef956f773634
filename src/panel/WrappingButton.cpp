#include "panel/WrappingButton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace {

constexpr int kTextFlags = Qt::AlignCenter | Qt::TextWordWrap;

} // namespace

WrappingButton::WrappingButton(const QString& text, QWidget* parent) : QPushButton(text, parent)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QSize WrappingButton::sizeForTextWidth(int textWidth) const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    const QRect text = fontMetrics().boundingRect(QRect(0, 0, std::max(1, textWidth), 10000),
                                                  kTextFlags, this->text());
    return style()->sizeFromContents(QStyle::CT_PushButton, &option, text.size(), this);
}

int WrappingButton::textWidthFor(int buttonWidth) const
{
    // The style's padding around the text: what a button of an empty title adds to it.
    QStyleOptionButton option;
    initStyleOption(&option);
    const QSize padding =
        style()->sizeFromContents(QStyle::CT_PushButton, &option, QSize(0, 0), this);
    return std::max(1, buttonWidth - padding.width());
}

QSize WrappingButton::sizeHint() const
{
    return sizeForTextWidth(fontMetrics().horizontalAdvance(text()));
}

QSize WrappingButton::minimumSizeHint() const
{
    // As narrow as its longest word.
    int longest = 0;
    for (const auto& word : text().split(QLatin1Char(' '), Qt::SkipEmptyParts))
        longest = std::max(longest, fontMetrics().horizontalAdvance(word));
    return sizeForTextWidth(longest);
}

int WrappingButton::heightForWidth(int width) const
{
    return sizeForTextWidth(textWidthFor(width)).height();
}

void WrappingButton::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString title = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);

    const QRect textRect = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    painter.drawItemText(textRect, kTextFlags, option.palette, isEnabled(), title,
                         QPalette::ButtonText);
}
