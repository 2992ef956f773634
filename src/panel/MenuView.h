#pragma once

#include <QWidget>

class DarkBlock;
class LogoController;
class QGraphicsOpacityEffect;
class QLabel;
class QPushButton;
class SegmentedControl;
class SliderRow;
class SwitchToggle;

// The control panel. It keeps no state of its own: every value it shows is read from the
// controller whenever the controller announces a change, and every user action goes straight to
// one of the controller's setters.
class MenuView : public QWidget {
    Q_OBJECT
public:
    explicit MenuView(LogoController& logo, QWidget* parent = nullptr);

    static constexpr int panelWidth = 280;
    static constexpr int margin = 14;
    static constexpr int spacing = 14;
    static constexpr int footerSpacing = 8;
    static constexpr double disabledOpacity = 0.4;

    LogoController& logo() const { return m_logo; }

    // Reads every shown value, presence and enablement from the controller. Runs on its own
    // shortly after each change; tests and tools may call it directly.
    void refresh();

    SwitchToggle* powerSwitch() const { return m_power; }
    QWidget* settingsGroup() const { return m_group; }
    SegmentedControl* modeSelector() const { return m_mode; }
    SliderRow* brightnessRow() const { return m_brightness; }
    SliderRow* speedRow() const { return m_speed; }
    QWidget* musicBlock() const { return m_music; }
    SliderRow* sensitivityRow() const { return m_sensitivity; }
    QLabel* musicStatusLine() const { return m_musicStatus; }
    SliderRow* delayRow() const { return m_delay; }
    QLabel* delayOutputLine() const { return m_delayOutput; }
    QLabel* errorLine() const { return m_error; }
    DarkBlock* darkBlock() const { return m_dark; }
    QPushButton* removeRuleButton() const { return m_removeRule; }
    QLabel* footerNote() const { return m_note; }
    QPushButton* quitButton() const { return m_quit; }
    double groupOpacity() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void build();
    void connectControls();
    void scheduleRefresh();
    void applyStyle();
    void fitHeight();

    LogoController& m_logo;
    bool m_refreshPending = false;

    SwitchToggle* m_power = nullptr;
    QWidget* m_group = nullptr;
    QGraphicsOpacityEffect* m_groupOpacity = nullptr;
    SegmentedControl* m_mode = nullptr;
    SliderRow* m_brightness = nullptr;
    SliderRow* m_speed = nullptr;
    QWidget* m_music = nullptr;
    SliderRow* m_sensitivity = nullptr;
    QLabel* m_musicStatus = nullptr;
    SliderRow* m_delay = nullptr;
    QLabel* m_delayOutput = nullptr;
    QLabel* m_error = nullptr;
    DarkBlock* m_dark = nullptr;
    QPushButton* m_removeRule = nullptr;
    QLabel* m_note = nullptr;
    QPushButton* m_quit = nullptr;
};
