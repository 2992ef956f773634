#include "panel/SliderRow.h"

#include "panel/PanelStyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

namespace {

constexpr int kLineSpacing = 4;

} // namespace

SliderRow::SliderRow(const QString& label, double minimum, double maximum, QWidget* parent)
    : QWidget(parent), m_minimum(minimum), m_maximum(maximum), m_label(new QLabel(label, this)),
      m_value(new QLabel(this)), m_slider(new QSlider(Qt::Horizontal, this))
{
    m_label->setTextFormat(Qt::PlainText);
    m_value->setTextFormat(Qt::PlainText);
    m_value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    m_slider->setRange(0, steps);
    m_slider->setSingleStep(steps / 100);
    m_slider->setPageStep(steps / 10);
    m_slider->setTickPosition(QSlider::NoTicks);
    m_slider->setTracking(true);
    m_slider->setFocusPolicy(Qt::StrongFocus);
    m_slider->setAccessibleName(label);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(0, 0, 0, 0);
    header->addWidget(m_label);
    header->addStretch(1);
    header->addWidget(m_value);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(kLineSpacing);
    column->addLayout(header);
    column->addWidget(m_slider);

    connect(m_slider, &QSlider::valueChanged, this,
            [this](int step) { emit moved(positionOf(step)); });
    applyStyle();
}

double SliderRow::positionOf(int step) const
{
    if (step >= steps)
        return m_maximum;
    return m_minimum + (m_maximum - m_minimum) * (double(step) / steps);
}

int SliderRow::stepOf(double position) const
{
    if (!(position > m_minimum))
        return 0;
    if (position >= m_maximum)
        return steps;
    return int(std::lround((position - m_minimum) / (m_maximum - m_minimum) * steps));
}

void SliderRow::setPosition(double position)
{
    const int step = stepOf(position);
    if (step == m_slider->value())
        return;
    const QSignalBlocker blocker(m_slider);
    m_slider->setValue(step);
}

double SliderRow::position() const
{
    return positionOf(m_slider->value());
}

void SliderRow::setValueText(const QString& text)
{
    m_value->setText(text);
    m_slider->setAccessibleDescription(text);
}

void SliderRow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange)
        applyStyle();
    QWidget::changeEvent(event);
}

void SliderRow::applyStyle()
{
    const QFont callout = PanelStyle::font(PanelStyle::TextRole::callout, font());
    m_label->setFont(callout);
    m_value->setFont(PanelStyle::tabularDigits(callout));
    QPalette valuePalette = m_value->palette();
    valuePalette.setColor(QPalette::WindowText, PanelStyle::secondaryText(palette()));
    m_value->setPalette(valuePalette);
}
