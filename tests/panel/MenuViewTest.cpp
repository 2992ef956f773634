#include "panel/MenuView.h"

#include "panel/DarkBlock.h"
#include "panel/SegmentedControl.h"
#include "panel/SliderRow.h"
#include "panel/SwitchToggle.h"
#include "panel/Translations.h"
#include "serviceabi/ServiceContract.h"
#include "testkit/support/EventLoop.h"
#include "tests/panel/PanelFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QTranslator>

namespace {

void press(QWidget* widget, int key)
{
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &down);
    QApplication::sendEvent(widget, &up);
}

} // namespace

class MenuViewTest : public ::testing::Test {
protected:
    MenuView& open()
    {
        if (!logo)
            logo = rig.make();
        view = std::make_unique<MenuView>(*logo);
        view->show();
        settle();
        return *view;
    }

    // Shown whenever the open panel is.
    bool shown(const QWidget* widget) const { return widget->isVisibleTo(view.get()); }

    ControllerRig rig;
    std::unique_ptr<LogoController> logo;
    std::unique_ptr<MenuView> view;
};

TEST_F(MenuViewTest, SteadyModeShowsSelectorAndBrightnessOnly)
{
    auto& panel = open();
    EXPECT_TRUE(panel.powerSwitch()->isChecked());
    EXPECT_EQ(panel.powerSwitch()->text(), QStringLiteral("Beamwick"));
    EXPECT_TRUE(panel.powerSwitch()->font().bold());

    ASSERT_EQ(panel.modeSelector()->count(), 3);
    for (int i = 0; const char* name : {"Steady", "Breathe", "Music"})
        EXPECT_EQ(panel.modeSelector()->segment(i++)->text(), QString::fromLatin1(name));
    EXPECT_EQ(panel.modeSelector()->currentIndex(), 0);
    EXPECT_EQ(panel.modeSelector()->accessibleName(), QStringLiteral("Mode"));

    EXPECT_TRUE(shown(panel.brightnessRow()));
    EXPECT_EQ(panel.brightnessRow()->label()->text(), QStringLiteral("Brightness"));
    EXPECT_FALSE(shown(panel.speedRow()));
    EXPECT_FALSE(shown(panel.musicBlock()));
    EXPECT_FALSE(shown(panel.errorLine()));
    EXPECT_FALSE(shown(panel.removeRuleButton()));

    EXPECT_EQ(panel.footerNote()->text(), QStringLiteral("Quitting restores the factory default"));
    EXPECT_EQ(panel.quitButton()->text(), QStringLiteral("Quit"));
    EXPECT_TRUE(panel.settingsGroup()->isEnabled());
    EXPECT_DOUBLE_EQ(panel.groupOpacity(), 1.0);
}

TEST_F(MenuViewTest, ModeChangesAddAndRemoveRowsWhileOpen)
{
    auto& panel = open();
    const int steadyHeight = panel.height();

    panel.modeSelector()->segment(1)->click();
    EXPECT_EQ(logo->mode(), LightMode::breathe);
    settle();
    EXPECT_TRUE(shown(panel.speedRow()));
    EXPECT_FALSE(shown(panel.musicBlock()));
    EXPECT_EQ(panel.modeSelector()->currentIndex(), 1);
    EXPECT_GT(panel.height(), steadyHeight);

    logo->setMode(LightMode::music);
    settle();
    EXPECT_FALSE(shown(panel.speedRow()));
    EXPECT_TRUE(shown(panel.musicBlock()));
    EXPECT_TRUE(shown(panel.brightnessRow()));
    EXPECT_EQ(panel.sensitivityRow()->label()->text(), QStringLiteral("Sensitivity"));
    EXPECT_EQ(panel.musicStatusLine()->text(), kReacting);
    EXPECT_EQ(panel.modeSelector()->currentIndex(), 2);

    logo->setMode(LightMode::steady);
    settle();
    EXPECT_FALSE(shown(panel.speedRow()));
    EXPECT_FALSE(shown(panel.musicBlock()));
    EXPECT_EQ(panel.height(), steadyHeight);
}

TEST_F(MenuViewTest, LightOffDisablesAndDimsOnlyTheSettingsGroup)
{
    rig.files.insert(ControllerRig::oldSudoRule);
    logo = rig.make();
    logo->setMode(LightMode::breathe);
    logo->setOn(false);
    auto& panel = open();

    EXPECT_FALSE(panel.powerSwitch()->isChecked());
    EXPECT_FALSE(panel.settingsGroup()->isEnabled());
    EXPECT_DOUBLE_EQ(panel.groupOpacity(), 0.4);
    EXPECT_TRUE(panel.powerSwitch()->isEnabled());
    EXPECT_TRUE(panel.removeRuleButton()->isEnabled());
    EXPECT_TRUE(panel.quitButton()->isEnabled());

    // Neither a click on a segment nor a key on a slider reaches the controller.
    panel.modeSelector()->segment(2)->click();
    press(panel.brightnessRow()->slider(), Qt::Key_End);
    press(panel.speedRow()->slider(), Qt::Key_Home);
    settle();
    EXPECT_EQ(logo->mode(), LightMode::breathe);
    EXPECT_DOUBLE_EQ(logo->brightness(), 1.0);
    EXPECT_DOUBLE_EQ(logo->breatheSeconds(), 5.0);

    panel.powerSwitch()->click();
    EXPECT_TRUE(logo->isOn());
    settle();
    EXPECT_TRUE(panel.settingsGroup()->isEnabled());
    EXPECT_DOUBLE_EQ(panel.groupOpacity(), 1.0);
}

TEST_F(MenuViewTest, ValueTextsFollowTheController)
{
    logo = rig.make();
    logo->setMode(LightMode::breathe);
    logo->setBreatheSeconds(4.0);
    auto& panel = open();
    EXPECT_EQ(panel.brightnessRow()->valueLabel()->text(), QStringLiteral("100%"));
    EXPECT_EQ(panel.speedRow()->valueLabel()->text(), QStringLiteral("4.0s per breath"));
    EXPECT_NEAR(panel.speedRow()->position(), 10.0, 1e-9);

    const std::pair<double, const char*> brightnessCases[] = {
        {0.05, "5%"}, {8.0, "800%"}, {0.29, "28%"}};
    for (const auto& [value, text] : brightnessCases) {
        logo->setBrightness(value);
        settle();
        EXPECT_EQ(panel.brightnessRow()->valueLabel()->text(), QString::fromUtf8(text)) << value;
        EXPECT_NEAR(panel.brightnessRow()->position(), value, 0.001);
    }

    logo->setMode(LightMode::music);
    logo->setSensitivity(1.0);
    settle();
    EXPECT_EQ(panel.sensitivityRow()->valueLabel()->text(), QStringLiteral("1.0×"));
}

TEST_F(MenuViewTest, ValueTextsKeepAPointUnderAGermanLocale)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    logo = rig.make();
    logo->setMode(LightMode::breathe);
    logo->setBreatheSeconds(4.5);
    auto& panel = open();
    EXPECT_EQ(panel.speedRow()->valueLabel()->text(), QStringLiteral("4.5s per breath"));
    logo->setMode(LightMode::music);
    logo->setSensitivity(2.5);
    logo->setBrightness(0.29);
    settle();
    EXPECT_EQ(panel.sensitivityRow()->valueLabel()->text(), QStringLiteral("2.5×"));
    EXPECT_EQ(panel.brightnessRow()->valueLabel()->text(), QStringLiteral("28%"));
    QLocale::setDefault(previous);
}

TEST_F(MenuViewTest, GermanTranslationCoversTheLocalizableKeysOnly)
{
    QTranslator* german =
        Translations::install(*QCoreApplication::instance(), QLocale(QLocale::German));
    ASSERT_NE(german, nullptr);
    logo = rig.make();
    logo->setMode(LightMode::music);
    auto& panel = open();
    EXPECT_EQ(panel.quitButton()->text(), QStringLiteral("Beenden"));
    EXPECT_EQ(panel.footerNote()->text(),
              QStringLiteral("Beenden stellt den Werkszustand wieder her"));
    EXPECT_EQ(panel.modeSelector()->accessibleName(), QStringLiteral("Modus"));
    // Everything else is shown verbatim, translated or not.
    EXPECT_EQ(panel.modeSelector()->segment(2)->text(), QStringLiteral("Music"));
    EXPECT_EQ(panel.sensitivityRow()->label()->text(), QStringLiteral("Sensitivity"));
    delete german;

    EXPECT_EQ(Translations::install(*QCoreApplication::instance(), QLocale(QLocale::English)),
              nullptr);
}

TEST_F(MenuViewTest, SpeedSliderIsInverted)
{
    logo = rig.make();
    logo->setMode(LightMode::breathe);
    auto& panel = open();
    QSlider* slider = panel.speedRow()->slider();

    slider->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_DOUBLE_EQ(logo->breatheSeconds(), 2.0);
    settle();
    EXPECT_EQ(panel.speedRow()->valueLabel()->text(), QStringLiteral("2.0s per breath"));

    slider->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_DOUBLE_EQ(logo->breatheSeconds(), 12.0);
    EXPECT_DOUBLE_EQ(rig.defaults.values.value("breatheSeconds").toDouble(), 12.0);
}

TEST_F(MenuViewTest, EveryStepOfADragReachesTheControllerAtOnce)
{
    auto& panel = open();
    QSlider* slider = panel.brightnessRow()->slider();
    const std::size_t before = rig.service.writesOf(FakeService::tableKey).size();

    std::vector<double> seen;
    for (int step = 0; step <= SliderRow::steps; step += SliderRow::steps / 8) {
        slider->setSliderPosition(step);
        seen.push_back(logo->brightness());
    }
    ASSERT_EQ(seen.size(), 9u);
    EXPECT_DOUBLE_EQ(seen.front(), 0.05);
    EXPECT_DOUBLE_EQ(seen.back(), ServiceContract::topLevel);
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_GT(seen[i], seen[i - 1]);
    // Steady mode writes each position to the light as it goes.
    EXPECT_EQ(rig.service.writesOf(FakeService::tableKey).size() - before, seen.size());
    EXPECT_NEAR(levelOf(rig.service.writesOf(FakeService::tableKey).back()),
                ServiceContract::topLevel, 1e-9);

    // The finest step lands between the coarse ones: the slider is continuous.
    slider->setSliderPosition(1);
    EXPECT_NEAR(logo->brightness(), 0.05 + 7.95 / SliderRow::steps, 1e-12);
    EXPECT_EQ(slider->tickPosition(), QSlider::NoTicks);
}

TEST_F(MenuViewTest, KeyboardOperatesEveryControl)
{
    auto& panel = open();
    press(panel.brightnessRow()->slider(), Qt::Key_Home);
    EXPECT_DOUBLE_EQ(logo->brightness(), 0.05);
    press(panel.brightnessRow()->slider(), Qt::Key_Right);
    EXPECT_GT(logo->brightness(), 0.05);

    panel.modeSelector()->segment(0)->setFocus();
    press(panel.modeSelector()->segment(0), Qt::Key_Right);
    EXPECT_EQ(logo->mode(), LightMode::breathe);

    press(panel.powerSwitch(), Qt::Key_Space);
    EXPECT_FALSE(logo->isOn());
    settle();
    EXPECT_FALSE(panel.powerSwitch()->isChecked());
}

TEST_F(MenuViewTest, RefusedSwitchSpringsBackAndShowsTheError)
{
    auto& panel = open();
    rig.service.setRefusing(ServiceContract::backlightModeKey, true);
    panel.powerSwitch()->click();
    settle();
    EXPECT_TRUE(logo->isOn());
    EXPECT_TRUE(panel.powerSwitch()->isChecked());
    ASSERT_TRUE(shown(panel.errorLine()));
    EXPECT_EQ(panel.errorLine()->text(), kRefusedSwitch);
    EXPECT_TRUE(panel.errorLine()->isEnabled());
    EXPECT_GT(panel.errorLine()->height(), 0);

    // Refused while off as well: the error stays outside the dimmed group.
    rig.service.setRefusing(ServiceContract::backlightModeKey, false);
    panel.powerSwitch()->click();
    settle();
    EXPECT_FALSE(shown(panel.errorLine()));
    rig.service.setRefusing(ServiceContract::backlightModeKey, true);
    panel.powerSwitch()->click();
    settle();
    EXPECT_FALSE(panel.powerSwitch()->isChecked());
    EXPECT_TRUE(shown(panel.errorLine()));
    EXPECT_FALSE(panel.settingsGroup()->isAncestorOf(panel.errorLine()));
}

TEST_F(MenuViewTest, ErrorAndStatusTextsAreShownVerbatimAndWrap)
{
    logo = rig.make();
    rig.meter->failure = MeterError("Connecting to the sound server", -6);
    logo->setMode(LightMode::music);
    auto& panel = open();
    const QString status = logo->musicStatus();
    ASSERT_TRUE(status.startsWith(QStringLiteral("Couldn't listen to audio (")));
    EXPECT_EQ(panel.musicStatusLine()->text(), status);
    EXPECT_EQ(panel.musicStatusLine()->textFormat(), Qt::PlainText);
    EXPECT_EQ(panel.errorLine()->textFormat(), Qt::PlainText);
    EXPECT_TRUE(panel.musicStatusLine()->wordWrap());
    // The long text takes several lines of the column and is never cut.
    const int line = panel.musicStatusLine()->fontMetrics().height();
    EXPECT_GE(panel.musicStatusLine()->height(), 3 * line);
    EXPECT_LE(panel.musicStatusLine()->width(), MenuView::panelWidth - 2 * MenuView::margin);
    EXPECT_LT(panel.musicStatusLine()->font().pointSizeF(),
              panel.quitButton()->font().pointSizeF());
}

TEST_F(MenuViewTest, RemoveRuleButtonGoesOnceTheRuleIsGone)
{
    rig.files.insert(ControllerRig::oldSudoRule);
    auto& panel = open();
    ASSERT_TRUE(shown(panel.removeRuleButton()));
    EXPECT_EQ(panel.removeRuleButton()->text(),
              QStringLiteral("Remove old password-free rule (no longer needed)"));
    // The title fits the column by wrapping, not by being cut.
    EXPECT_LE(panel.removeRuleButton()->width(), MenuView::panelWidth - 2 * MenuView::margin);
    EXPECT_GE(panel.removeRuleButton()->height(),
              panel.removeRuleButton()->heightForWidth(panel.removeRuleButton()->width()));

    // The user cancels the prompt: the button stays.
    panel.removeRuleButton()->click();
    settle();
    EXPECT_EQ(rig.runner.calls.size(), 1u);
    EXPECT_TRUE(shown(panel.removeRuleButton()));

    rig.runner.effect = [this] { rig.files.clear(); };
    const int before = panel.height();
    panel.removeRuleButton()->click();
    settle();
    EXPECT_EQ(rig.runner.calls.size(), 2u);
    EXPECT_FALSE(shown(panel.removeRuleButton()));
    EXPECT_LT(panel.height(), before);
}

TEST_F(MenuViewTest, GeometryIsAFixedWidthColumn)
{
    auto& panel = open();
    EXPECT_EQ(panel.width(), 280);
    const QMargins margins = panel.layout()->contentsMargins();
    EXPECT_EQ(margins, QMargins(14, 14, 14, 14));
    EXPECT_EQ(panel.layout()->spacing(), 14);
    EXPECT_EQ(panel.brightnessRow()->layout()->spacing(), 4);
    EXPECT_EQ(panel.brightnessRow()->slider()->width(), 252);
    EXPECT_EQ(panel.powerSwitch()->geometry().left(), 14);
    EXPECT_EQ(panel.powerSwitch()->geometry().top(), 14);
    EXPECT_EQ(panel.settingsGroup()->geometry().top(),
              panel.powerSwitch()->geometry().bottom() + 1 + 14);
    EXPECT_EQ(panel.quitButton()->geometry().right(), 280 - 14 - 1);
    // The footer note is never cut: it is as wide as its text, or tall enough to wrap it.
    const QLabel* note = panel.footerNote();
    EXPECT_TRUE(note->width() >= note->fontMetrics().horizontalAdvance(note->text()) ||
                note->height() >= note->heightForWidth(note->width()));
    EXPECT_LT(note->geometry().right(), panel.quitButton()->geometry().left());
    EXPECT_LT(note->font().pointSizeF(), panel.errorLine()->font().pointSizeF());
    // The height follows the content: the footer (the button, or the note where it wraps to be
    // taller) ends one margin above the bottom edge.
    const int footerBottom =
        std::max(panel.quitButton()->geometry().bottom(), note->geometry().bottom());
    EXPECT_EQ(footerBottom + 1 + 14, panel.height());
}

TEST_F(MenuViewTest, EveryControlHasAnAccessibleName)
{
    logo = rig.make();
    rig.files.insert(ControllerRig::oldSudoRule);
    auto& panel = open();
    const QWidget* controls[] = {panel.powerSwitch(), panel.modeSelector(),
                                 panel.brightnessRow()->slider(), panel.speedRow()->slider(),
                                 panel.sensitivityRow()->slider()};
    for (const QWidget* control : controls)
        EXPECT_FALSE(control->accessibleName().isEmpty()) << control->metaObject()->className();
    for (int i = 0; i < panel.modeSelector()->count(); ++i)
        EXPECT_FALSE(panel.modeSelector()->segment(i)->text().isEmpty());
    EXPECT_FALSE(panel.removeRuleButton()->text().isEmpty());
}

TEST_F(MenuViewTest, QuitAsksTheApplicationToQuit)
{
    auto& panel = open();
    bool aboutToQuit = false;
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [&] { aboutToQuit = true; });
    EXPECT_EQ(runUntilQuit([&] { panel.quitButton()->click(); }), 0);
    EXPECT_TRUE(aboutToQuit);
}

TEST_F(MenuViewTest, PanelsComeAndGoOverTheSameController)
{
    logo = rig.make();
    for (int i = 0; i < 5; ++i) {
        auto& panel = open();
        panel.brightnessRow()->slider()->setSliderPosition(SliderRow::steps / 2);
        view.reset();
    }
    // A controller change after the panels are gone touches none of them.
    logo->setMode(LightMode::music);
    settle();
    auto& panel = open();
    EXPECT_EQ(panel.modeSelector()->currentIndex(), 2);
    EXPECT_NEAR(panel.brightnessRow()->position(), 0.05 + 7.95 / 2, 1e-9);
}

TEST_F(MenuViewTest, TheDarkChoicesReachTheControllerAndTheReasonShowsWhileDark)
{
    auto& panel = open();
    DarkBlock& dark = *panel.darkBlock();
    EXPECT_FALSE(shown(dark.reasonLine()));
    EXPECT_FALSE(dark.whenLockedBox()->isChecked());
    dark.whenLockedBox()->click();
    EXPECT_TRUE(logo->darkWhenLocked());
    EXPECT_FALSE(logo->darkOnBattery());

    const int before = panel.height();
    rig.dark.post({false, true, true});
    settle();
    EXPECT_TRUE(shown(dark.reasonLine()));
    EXPECT_EQ(dark.reasonLine()->text(), QStringLiteral("Dark now: the session is locked"));
    EXPECT_GT(panel.height(), before);
    logo->setDarkOnBattery(true);
    logo->setDarkWhenLocked(false);
    settle();
    EXPECT_FALSE(dark.whenLockedBox()->isChecked());
    EXPECT_TRUE(dark.onBatteryBox()->isChecked());
    EXPECT_EQ(dark.reasonLine()->text(), QStringLiteral("Dark now: on battery power"));
}
