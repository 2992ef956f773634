#pragma once

#include <QMenu>

class LogoController;

// The choice of light, the tray icon's context menu and the window's: "Automatic" (checked when
// the choice is left to the service's own rule), then every light the service can drive, the
// one in use checked. Built afresh each time it opens, so it lists the lights there are then.
class LightMenu : public QMenu {
    Q_OBJECT
public:
    explicit LightMenu(LogoController& logo, QWidget* parent = nullptr);

    static QString automaticText();

private:
    void rebuild();

    LogoController& m_logo;
};
