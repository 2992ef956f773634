#pragma once

#include "panel/MenuView.h"
#include "shell/InstanceGuard.h"
#include "shell/TrayHostWatch.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>

class LightMenu;
class LogoController;

// The application shell: the one controller for the process's life, a tray item whose icon
// follows the light, and the panel it opens. Where the desktop has no tray the panel opens as a
// small ordinary window instead, and closing that window quits. A tray host that appears later
// takes the icon and the window goes (without quitting); if the host goes away, the window
// comes back, so Beamwick can always be reached. A right click on the icon, or in the window,
// offers the choice of light (LightMenu).
class BeamwickApp : public QObject {
    Q_OBJECT
public:
    using ControllerFactory = std::function<std::unique_ptr<LogoController>()>;

    // factory: how the controller is made on first use (main's Composition makes the real one);
    // runtimeDirectory: where the single-instance lock and socket live (default: the user's
    // runtime directory).
    explicit BeamwickApp(ControllerFactory factory, const QString& runtimeDirectory = {},
                         QObject* parent = nullptr);
    ~BeamwickApp() override;

    // How long start() waits for a tray host before it opens the window. At login the panel
    // that hosts the tray often starts a moment after the applications.
    static constexpr std::chrono::milliseconds defaultTrayGrace{4000};
    void setTrayGrace(std::chrono::milliseconds grace) { m_trayGrace = grace; }

    // Claims the single instance and shows the tray item, or the window once no tray host has
    // come within the grace time. False when another instance runs (it has been asked to show
    // its panel) and this one should exit.
    bool start();

    // The process's controller, created the first time it is asked for.
    LogoController& logo();

    // Opens the panel: under the tray icon, or the window brought forward.
    void showPanel();
    void togglePanel();

    QSystemTrayIcon* trayIcon() const { return m_tray.get(); }
    // The choice of light: the tray icon's context menu, and the window's.
    LightMenu* lightMenu() const { return m_lightMenu.get(); }
    MenuView* panel() const { return m_panel; }
    bool usesTray() const { return m_tray != nullptr; }
    // Whether the tray icon currently shows the filled circle.
    bool iconShowsOn() const { return m_iconOn; }

    static QString titleText();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool trayAvailable();
    void followTrayHost();
    void createTray();
    void leaveTray();
    void openWindow();
    void closeWindowForTray();
    void openPopup();
    void scheduleIconUpdate();
    void updateIcon();

    ControllerFactory m_factory;
    InstanceGuard m_guard;
    std::unique_ptr<LogoController> m_logo;
    std::unique_ptr<LightMenu> m_lightMenu;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    std::unique_ptr<TrayHostWatch> m_trayWatch;
    // How long a start without a tray waits for one before it opens the window.
    std::chrono::milliseconds m_trayGrace = defaultTrayGrace;
    QMetaObject::Connection m_quitWhenWindowCloses;
    QPointer<MenuView> m_panel;
    // The popup as the event filter sees it. Compared as a plain QObject: events still reach
    // the filter while the panel is half destroyed, when it is no longer a MenuView.
    QPointer<QObject> m_filteredPopup;
    QElapsedTimer m_sincePopupClosed;
    bool m_iconOn = false;
    bool m_iconUpdatePending = false;
};
