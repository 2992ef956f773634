#include "panel/DarkBlock.h"

#include "control/LogoController.h"

#include <QCheckBox>
#include <QLabel>
#include <QVBoxLayout>

namespace {

QString reasonText(DarkReason reason)
{
    switch (reason) {
    case DarkReason::lidClosed:
        return DarkBlock::tr("Dark now: the lid is closed");
    case DarkReason::locked:
        return DarkBlock::tr("Dark now: the session is locked");
    case DarkReason::onBattery:
        return DarkBlock::tr("Dark now: on battery power");
    }
    return {};
}

} // namespace

DarkBlock::DarkBlock(LogoController& logo, QWidget* parent) : QWidget(parent), m_logo(logo)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    m_reason = new QLabel(this);
    m_reason->setTextFormat(Qt::PlainText);
    m_reason->setWordWrap(true);
    m_reason->setAccessibleName(tr("Why the light is dark"));
    column->addWidget(m_reason);
    m_whenLocked = new QCheckBox(tr("Dark while locked"), this);
    column->addWidget(m_whenLocked);
    m_onBattery = new QCheckBox(tr("Dark on battery"), this);
    column->addWidget(m_onBattery);
    // Clicked, not toggled: a refresh that sets the box must not write the choice back.
    connect(m_whenLocked, &QCheckBox::clicked, this,
            [this](bool checked) { m_logo.setDarkWhenLocked(checked); });
    connect(m_onBattery, &QCheckBox::clicked, this,
            [this](bool checked) { m_logo.setDarkOnBattery(checked); });
}

void DarkBlock::refresh()
{
    m_whenLocked->setChecked(m_logo.darkWhenLocked());
    m_onBattery->setChecked(m_logo.darkOnBattery());
    const auto& reason = m_logo.darkReason();
    m_reason->setVisible(reason.has_value());
    m_reason->setText(reason ? reasonText(*reason) : QString());
}

void DarkBlock::restyle(const QFont& caption, const QColor& secondary)
{
    for (QWidget* widget : {static_cast<QWidget*>(m_reason), static_cast<QWidget*>(m_whenLocked),
                            static_cast<QWidget*>(m_onBattery)})
        widget->setFont(caption);
    QPalette palette = m_reason->palette();
    palette.setColor(QPalette::WindowText, secondary);
    m_reason->setPalette(palette);
}
