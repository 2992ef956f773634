#include "panel/SegmentedControl.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QToolButton>

namespace {

// The chosen segment wears the selection colours, so it stands out in any style. They are
// given to the style only while painting, from a palette made once per theme: a palette set on
// the button at each choice would be a new palette every time, and styles that cache what they
// draw by palette (Fusion does) would keep a new picture of the button for each choice, for good.
class Segment : public QToolButton {
public:
    explicit Segment(QWidget* parent) : QToolButton(parent) { takeColours(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter painter(this);
        QStyleOptionToolButton option;
        initStyleOption(&option);
        if (isChecked())
            option.palette = m_chosen;
        painter.drawComplexControl(QStyle::CC_ToolButton, option);
    }

    void changeEvent(QEvent* event) override
    {
        if (event->type() == QEvent::PaletteChange)
            takeColours();
        QToolButton::changeEvent(event);
    }

private:
    void takeColours()
    {
        m_chosen = palette();
        m_chosen.setColor(QPalette::Button, m_chosen.color(QPalette::Highlight));
        m_chosen.setColor(QPalette::ButtonText, m_chosen.color(QPalette::HighlightedText));
    }

    QPalette m_chosen;
};

} // namespace

SegmentedControl::SegmentedControl(const QStringList& segments, QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_group.setExclusive(true);
    for (int i = 0; i < segments.size(); ++i) {
        auto* button = new Segment(this);
        button->setText(segments[i]);
        button->setAccessibleName(segments[i]);
        button->setCheckable(true);
        button->setAutoRaise(false);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        button->setFocusPolicy(Qt::StrongFocus);
        m_group.addButton(button, i);
        layout->addWidget(button);
    }
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(&m_group, &QButtonGroup::idClicked, this, &SegmentedControl::activated);
}

void SegmentedControl::setCurrentIndex(int index)
{
    if (auto* button = m_group.button(index)) {
        if (!button->isChecked())
            button->setChecked(true);
        return;
    }
    // No valid choice: show none. An exclusive group refuses to uncheck its last button.
    m_group.setExclusive(false);
    for (auto* button : m_group.buttons())
        button->setChecked(false);
    m_group.setExclusive(true);
}

int SegmentedControl::currentIndex() const
{
    return m_group.checkedId();
}

int SegmentedControl::count() const
{
    return int(m_group.buttons().size());
}

QAbstractButton* SegmentedControl::segment(int index) const
{
    return m_group.button(index);
}
