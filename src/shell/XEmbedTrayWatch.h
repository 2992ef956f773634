#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <cstdint>

struct xcb_connection_t;

// Whether an XEmbed system tray is there: an owner of the X selection _NET_SYSTEM_TRAY_S<screen>.
// A new tray host's announcement to the root window and the owner's window being destroyed are
// reported as they happen. Off X11 (Wayland, offscreen) there is never one.
class XEmbedTrayWatch final : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    explicit XEmbedTrayWatch(QObject* parent = nullptr);
    ~XEmbedTrayWatch() override;

    // Asks the X server now, and starts watching a new owner for its departure.
    bool trayOwned();

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    // A tray host may have come or gone.
    void changed();

private:
    void hearManagers(xcb_connection_t* connection, int screen);

    std::uint32_t m_selectionAtom = 0;
    std::uint32_t m_managerAtom = 0;
    std::uint32_t m_owner = 0;
};
