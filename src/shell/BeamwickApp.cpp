#include "shell/BeamwickApp.h"

#include "control/LogoController.h"
#include "shell/LightMenu.h"
#include "shell/PopupPlacement.h"
#include "shell/TrayIcons.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <cstdio>

namespace {

// A click on the tray icon while the popup is open first closes the popup (the click lands
// outside it); the same click must not open it again at once.
constexpr qint64 kReopenGuardMilliseconds = 300;
bool popupsNeedAParent()
{
    // Wayland places popups only relative to a parent surface, which a tray icon is not.
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

} // namespace

BeamwickApp::BeamwickApp(ControllerFactory factory, const QString& runtimeDirectory,
                         QObject* parent)
    : QObject(parent), m_factory(std::move(factory)), m_guard(runtimeDirectory)
{
    connect(&m_guard, &InstanceGuard::showRequested, this, &BeamwickApp::showPanel);
}

BeamwickApp::~BeamwickApp()
{
    delete m_panel.data();
}

QString BeamwickApp::titleText()
{
    return QStringLiteral("Beamwick");
}

bool BeamwickApp::start()
{
    switch (m_guard.claim()) {
    case InstanceGuard::Outcome::primary:
        break;
    case InstanceGuard::Outcome::askedPrimary:
        return false;
    case InstanceGuard::Outcome::unreachable:
        std::fprintf(stderr, "beamwick: another Beamwick holds %s but does not answer\n",
                     qPrintable(m_guard.socketPath()));
        return false;
    }

    if (QApplication::windowIcon().isNull())
        QApplication::setWindowIcon(
            QIcon::fromTheme(QStringLiteral("beamwick"), TrayIcons::circle(true)));
    // The shell alone decides when closing a window quits: a popup closing never does, nor the
    // window that goes when a tray host takes the icon.
    QApplication::setQuitOnLastWindowClosed(false);
    m_lightMenu = std::make_unique<LightMenu>(logo());
    m_trayWatch = std::make_unique<TrayHostWatch>();
    connect(m_trayWatch.get(), &TrayHostWatch::changed, this, &BeamwickApp::followTrayHost);
    if (trayAvailable()) {
        createTray();
        return true;
    }
    if (m_trayGrace.count() > 0) {
        QTimer::singleShot(m_trayGrace, this, [this] {
            if (!m_tray)
                openWindow();
        });
    } else {
        openWindow();
    }
    return true;
}

bool BeamwickApp::trayAvailable()
{
    // Our own watch first: Qt keeps its first answer about a StatusNotifier host for good.
    return m_trayWatch && m_trayWatch->isAvailable() && QSystemTrayIcon::isSystemTrayAvailable();
}

void BeamwickApp::followTrayHost()
{
    const bool available = trayAvailable();
    if (available && !m_tray) {
        createTray();
        closeWindowForTray();
    } else if (!available && m_tray) {
        leaveTray();
    }
}

void BeamwickApp::leaveTray()
{
    // The popup belongs to the icon that is going; the window takes its place at once.
    delete m_panel.data();
    m_tray.reset();
    m_iconOn = false;
    openWindow();
}

void BeamwickApp::closeWindowForTray()
{
    if (!m_panel)
        return;
    // The window goes because the tray took over, not because the user closed it.
    disconnect(m_quitWhenWindowCloses);
    delete m_panel.data();
}

LogoController& BeamwickApp::logo()
{
    if (!m_logo) {
        m_logo = m_factory();
        connect(m_logo.get(), &LogoController::objectWillChange, this,
                &BeamwickApp::scheduleIconUpdate);
    }
    return *m_logo;
}

void BeamwickApp::createTray()
{
    m_tray = std::make_unique<QSystemTrayIcon>();
    m_tray->setToolTip(titleText());
    updateIcon();
    m_tray->setContextMenu(m_lightMenu.get());
    // A right click opens the context menu, not the panel.
    connect(m_tray.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason != QSystemTrayIcon::Context)
                    togglePanel();
            });
    m_tray->show();
}

void BeamwickApp::scheduleIconUpdate()
{
    // The controller signals before it writes: look at isOn once the write is done.
    if (m_iconUpdatePending)
        return;
    m_iconUpdatePending = true;
    QTimer::singleShot(0, this, &BeamwickApp::updateIcon);
}

void BeamwickApp::updateIcon()
{
    m_iconUpdatePending = false;
    if (!m_tray)
        return;
    const bool on = logo().isOn();
    if (on == m_iconOn && !m_tray->icon().isNull())
        return;
    m_iconOn = on;
    m_tray->setIcon(TrayIcons::circle(on));
}

void BeamwickApp::togglePanel()
{
    if (m_panel && m_panel->isVisible()) {
        m_panel->close();
        return;
    }
    if (m_sincePopupClosed.isValid() && m_sincePopupClosed.elapsed() < kReopenGuardMilliseconds)
        return;
    showPanel();
}

void BeamwickApp::showPanel()
{
    if (!m_tray) {
        openWindow();
        return;
    }
    if (!m_panel)
        openPopup();
    m_panel->raise();
    m_panel->activateWindow();
}

void BeamwickApp::openWindow()
{
    if (!m_panel) {
        m_panel = new MenuView(logo());
        m_panel->setWindowFlags(Qt::Window);
        m_panel->setWindowTitle(titleText());
        m_panel->setAttribute(Qt::WA_DeleteOnClose);
        // Without a tray this window is the application: closing it quits, and the quit
        // handling hands the light back.
        m_quitWhenWindowCloses =
            connect(m_panel, &QObject::destroyed, qApp, &QCoreApplication::quit);
        // Without a tray, the window offers the tray icon's context menu.
        m_panel->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(m_panel, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
            if (m_lightMenu && m_panel)
                m_lightMenu->popup(m_panel->mapToGlobal(at));
        });
    }
    m_panel->show();
    m_panel->raise();
    m_panel->activateWindow();
}

void BeamwickApp::openPopup()
{
    m_panel = new MenuView(logo());
    m_panel->setAttribute(Qt::WA_DeleteOnClose);
    if (popupsNeedAParent()) {
        m_panel->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    } else {
        m_panel->setWindowFlags(Qt::Popup);
    }
    m_panel->installEventFilter(this);
    m_filteredPopup = m_panel.get();

    QRect anchor = m_tray->geometry();
    if (!anchor.isValid())
        anchor = QRect(QCursor::pos(), QSize(1, 1));
    QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
    m_panel->move(PopupPlacement::place(anchor, m_panel->size(), area));
    m_panel->show();
}

bool BeamwickApp::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_filteredPopup.isNull() && watched == m_filteredPopup.get()) {
        switch (event->type()) {
        case QEvent::WindowDeactivate:
            // The panel is a popup: it goes when the user turns to anything else.
            if (auto* popup = qobject_cast<QWidget*>(watched))
                popup->close();
            break;
        case QEvent::Hide:
        case QEvent::Close:
            m_sincePopupClosed.start();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}
