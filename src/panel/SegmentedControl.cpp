#include "panel/SegmentedControl.h"

#include <QHBoxLayout>
#include <QToolButton>

SegmentedControl::SegmentedControl(const QStringList& segments, QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_group.setExclusive(true);
    for (int i = 0; i < segments.size(); ++i) {
        auto* button = new QToolButton(this);
        button->setText(segments[i]);
        button->setAccessibleName(segments[i]);
        button->setCheckable(true);
        button->setAutoRaise(false);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        button->setFocusPolicy(Qt::StrongFocus);
        // The chosen segment wears the selection colours, so it stands out in any style.
        connect(button, &QToolButton::toggled, button, [button](bool checked) {
            QPalette palette = button->parentWidget()->palette();
            if (checked) {
                palette.setColor(QPalette::Button, palette.color(QPalette::Highlight));
                palette.setColor(QPalette::ButtonText, palette.color(QPalette::HighlightedText));
            }
            button->setPalette(palette);
        });
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
