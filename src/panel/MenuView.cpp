#include "panel/MenuView.h"

#include "control/LogoController.h"
#include "control/NumberSettings.h"
#include "panel/DarkBlock.h"
#include "panel/PanelStyle.h"
#include "panel/PanelText.h"
#include "panel/SegmentedControl.h"
#include "panel/SliderRow.h"
#include "panel/SwitchToggle.h"
#include "panel/WrappingButton.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFrame>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

namespace {

// The breath period runs from 12 s at the slider's left end to 2 s at its right end.
constexpr double kSpeedMirror = 14.0;

QStringList modeSegments()
{
    QStringList segments;
    for (const LightMode mode : allLightModes)
        segments << rawValue(mode);
    return segments;
}

int indexOf(LightMode mode)
{
    for (int i = 0; i < int(allLightModes.size()); ++i) {
        if (allLightModes[std::size_t(i)] == mode)
            return i;
    }
    return -1;
}

QLabel* wrappingLabel(QWidget* parent)
{
    auto* label = new QLabel(parent);
    // Status and error texts come from outside: never interpret them as markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    return label;
}

void setTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

} // namespace

MenuView::MenuView(LogoController& logo, QWidget* parent) : QWidget(parent), m_logo(logo)
{
    setWindowTitle(QStringLiteral("Beamwick"));
    build();
    connectControls();
    applyStyle();
    // The controller announces a change before it makes it: read it once the write is done.
    connect(&m_logo, &LogoController::objectWillChange, this, &MenuView::scheduleRefresh);
    refresh();
}

void MenuView::build()
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(margin, margin, margin, margin);
    column->setSpacing(spacing);

    m_power = new SwitchToggle(tr("Beamwick"), this);
    column->addWidget(m_power);

    m_group = new QWidget(this);
    auto* group = new QVBoxLayout(m_group);
    group->setContentsMargins(0, 0, 0, 0);
    group->setSpacing(spacing);
    m_groupOpacity = new QGraphicsOpacityEffect(m_group);
    m_groupOpacity->setOpacity(disabledOpacity);
    m_group->setGraphicsEffect(m_groupOpacity);

    m_mode = new SegmentedControl(modeSegments(), m_group);
    // The selector's label is not drawn, but screen readers announce it.
    m_mode->setAccessibleName(tr("Mode"));
    for (int i = 0; i < m_mode->count(); ++i)
        m_mode->segment(i)->setAccessibleDescription(tr("Mode"));
    group->addWidget(m_mode);

    m_brightness =
        new SliderRow(QStringLiteral("Brightness"), number_settings::brightness.range.low,
                      number_settings::brightness.range.high, m_group);
    group->addWidget(m_brightness);

    m_speed = new SliderRow(QStringLiteral("Speed"), number_settings::breatheSeconds.range.low,
                            number_settings::breatheSeconds.range.high, m_group);
    group->addWidget(m_speed);

    m_music = new QWidget(m_group);
    auto* music = new QVBoxLayout(m_music);
    music->setContentsMargins(0, 0, 0, 0);
    music->setSpacing(spacing);
    m_sensitivity =
        new SliderRow(QStringLiteral("Sensitivity"), number_settings::sensitivity.range.low,
                      number_settings::sensitivity.range.high, m_music);
    music->addWidget(m_sensitivity);
    m_delay = new SliderRow(tr("Light delay"), number_settings::lightDelay.range.low,
                            number_settings::lightDelay.range.high, m_music);
    music->addWidget(m_delay);
    m_delayOutput = wrappingLabel(m_music);
    m_delayOutput->setAccessibleName(tr("Light delay"));
    music->addWidget(m_delayOutput);
    m_musicStatus = wrappingLabel(m_music);
    m_musicStatus->setAccessibleName(QStringLiteral("Music status"));
    music->addWidget(m_musicStatus);
    group->addWidget(m_music);
    column->addWidget(m_group);

    // Outside the group, which the switch greys out: the choices hold for a light switched off.
    m_dark = new DarkBlock(m_logo, this);
    column->addWidget(m_dark);

    m_error = wrappingLabel(this);
    m_error->setAccessibleName(QStringLiteral("Error"));
    column->addWidget(m_error);

    m_removeRule = new WrappingButton(tr("Remove old password-free rule (no longer needed)"), this);
    m_removeRule->setAutoDefault(false);
    column->addWidget(m_removeRule);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    column->addWidget(divider);

    // The note takes whatever the button leaves, and wraps rather than being cut where a
    // translation or a large font makes it too long for one line.
    auto* footer = new QHBoxLayout;
    footer->setContentsMargins(0, 0, 0, 0);
    footer->setSpacing(footerSpacing);
    m_note = new QLabel(tr("Quitting restores the factory default"), this);
    m_note->setTextFormat(Qt::PlainText);
    m_note->setWordWrap(true);
    footer->addWidget(m_note, 1, Qt::AlignVCenter);
    m_quit = new QPushButton(tr("Quit"), this);
    m_quit->setAutoDefault(false);
    m_quit->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    footer->addWidget(m_quit, 0, Qt::AlignVCenter);
    column->addLayout(footer);

    setTabOrder(m_power, m_mode->segment(0));
}

void MenuView::connectControls()
{
    connect(m_power, &SwitchToggle::clicked, this, [this](bool checked) {
        m_logo.setOn(checked);
        // Shows the switch where the controller left it, also when it refused.
        scheduleRefresh();
    });
    connect(m_mode, &SegmentedControl::activated, this, [this](int index) {
        if (index >= 0 && index < int(allLightModes.size()))
            m_logo.setMode(allLightModes[std::size_t(index)]);
    });
    connect(m_brightness, &SliderRow::moved, this,
            [this](double position) { m_logo.setBrightness(position); });
    connect(m_speed, &SliderRow::moved, this,
            [this](double position) { m_logo.setBreatheSeconds(kSpeedMirror - position); });
    connect(m_sensitivity, &SliderRow::moved, this,
            [this](double position) { m_logo.setSensitivity(position); });
    // Whole milliseconds: a finer delay is not seen, and reads back as it was set.
    connect(m_delay, &SliderRow::moved, this, [this](double position) {
        m_logo.setNumber(number_settings::lightDelay, std::round(position));
    });
    connect(m_removeRule, &QPushButton::clicked, this, [this] { m_logo.removeOldSudoRule(); });
    connect(m_quit, &QPushButton::clicked, this, [] { QCoreApplication::quit(); });
}

void MenuView::scheduleRefresh()
{
    if (m_refreshPending)
        return;
    m_refreshPending = true;
    QTimer::singleShot(0, this, &MenuView::refresh);
}

void MenuView::refresh()
{
    m_refreshPending = false;
    const bool on = m_logo.isOn();
    const LightMode mode = m_logo.mode();

    m_power->setChecked(on);

    m_group->setEnabled(on);
    m_groupOpacity->setEnabled(!on);

    m_mode->setCurrentIndex(indexOf(mode));

    m_brightness->setPosition(m_logo.brightness());
    m_brightness->setValueText(PanelText::brightness(m_logo.brightness()));

    m_speed->setVisible(mode == LightMode::breathe);
    m_speed->setPosition(kSpeedMirror - m_logo.breatheSeconds());
    m_speed->setValueText(PanelText::speed(m_logo.breatheSeconds()));

    m_music->setVisible(mode == LightMode::music);
    m_sensitivity->setPosition(m_logo.sensitivity());
    m_sensitivity->setValueText(PanelText::sensitivity(m_logo.sensitivity()));
    m_musicStatus->setText(m_logo.musicStatus());
    // Held dark, Music does not listen and has nothing to say: no blank line for it.
    m_musicStatus->setVisible(!m_logo.musicStatus().isEmpty());
    // The delay is the heard output's own: none to set before Music has heard one.
    const QString output = m_logo.heardOutput();
    m_delay->setEnabled(!output.isEmpty());
    m_delay->setPosition(m_logo.lightDelay());
    m_delay->setValueText(PanelText::delay(m_logo.lightDelay()));
    const double reported =
        std::chrono::duration<double, std::milli>(m_logo.reportedLead()).count();
    m_delayOutput->setText(
        output.isEmpty()
            ? tr("No output heard yet")
            : tr("%1 — reports %2 ms").arg(output, QString::number(std::round(reported), 'f', 0)));

    m_dark->refresh();

    const auto& error = m_logo.lastError();
    m_error->setVisible(error.has_value());
    m_error->setText(error.value_or(QString()));

    m_removeRule->setVisible(m_logo.hasOldSudoRule());

    fitHeight();
}

double MenuView::groupOpacity() const
{
    return m_groupOpacity->isEnabled() ? m_groupOpacity->opacity() : 1.0;
}

void MenuView::fitHeight()
{
    // Nested layouts cache their heights; rows that just appeared or went must be counted anew.
    for (QWidget* nested : {m_music, m_group, static_cast<QWidget*>(m_dark)}) {
        nested->layout()->invalidate();
        nested->updateGeometry();
    }
    layout()->invalidate();
    const int height = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(panelWidth)
                                                     : layout()->totalSizeHint().height();
    setFixedSize(panelWidth, height);
}

void MenuView::changeEvent(QEvent* event)
{
    const bool restyle =
        event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange;
    if (restyle && m_power) {
        applyStyle();
        fitHeight();
    }
    QWidget::changeEvent(event);
}

void MenuView::applyStyle()
{
    using PanelStyle::TextRole;
    const QFont base = font();
    const QPalette& pal = palette();

    m_power->setFont(PanelStyle::font(TextRole::headline, base));

    const QFont caption = PanelStyle::font(TextRole::caption, base);
    m_musicStatus->setFont(caption);
    m_delayOutput->setFont(caption);
    setTextColor(m_delayOutput, PanelStyle::secondaryText(pal));
    setTextColor(m_musicStatus, PanelStyle::secondaryText(pal));
    m_dark->restyle(caption, PanelStyle::secondaryText(pal));
    m_error->setFont(caption);
    setTextColor(m_error, PanelStyle::errorText(pal));
    // Even an empty error takes a line, so the user sees that something was reported.
    m_error->setMinimumHeight(QFontMetrics(caption).height());
    m_removeRule->setFont(caption);

    m_note->setFont(PanelStyle::font(TextRole::caption2, base));
    setTextColor(m_note, PanelStyle::secondaryText(pal));
}
