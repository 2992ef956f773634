#pragma once

#include "app/InstanceGuard.h"
#include "app/MenuView.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>

class LogoController;

// The application shell: the one controller for the process's life, a tray item whose icon
// follows the light, and the panel it opens. Where the desktop has no tray the panel opens as a
// small ordinary window instead, and closing that window quits.
class BeamwickApp : public QObject {
    Q_OBJECT
public:
    using ControllerFactory = std::function<std::unique_ptr<LogoController>()>;

    // factory: how the controller is made on first use (default: the real one); runtimeDirectory:
    // where the single-instance lock and socket live (default: the user's runtime directory).
    explicit BeamwickApp(ControllerFactory factory = {}, const QString& runtimeDirectory = {},
                         QObject* parent = nullptr);
    ~BeamwickApp() override;

    // Claims the single instance and shows the tray item or the window. False when another
    // instance runs (it has been asked to show its panel) and this one should exit.
    bool start();

    // The process's controller, created the first time it is asked for.
    LogoController& logo();

    // Opens the panel: under the tray icon, or the window brought forward.
    void showPanel();
    void togglePanel();

    QSystemTrayIcon* trayIcon() const { return m_tray.get(); }
    MenuView* panel() const { return m_panel; }
    bool usesTray() const { return m_tray != nullptr; }
    // Whether the tray icon currently shows the filled circle.
    bool iconShowsOn() const { return m_iconOn; }

    static QString titleText();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createTray();
    void openWindow();
    void openPopup();
    void scheduleIconUpdate();
    void updateIcon();

    ControllerFactory m_factory;
    InstanceGuard m_guard;
    std::unique_ptr<LogoController> m_logo;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    QPointer<MenuView> m_panel;
    // The popup as the event filter sees it. Compared as a plain QObject: events still reach
    // the filter while the panel is half destroyed, when it is no longer a MenuView.
    QPointer<QObject> m_filteredPopup;
    QElapsedTimer m_sincePopupClosed;
    bool m_iconOn = false;
    bool m_iconUpdatePending = false;
};
