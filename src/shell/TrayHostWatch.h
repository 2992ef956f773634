#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <cstdint>

struct xcb_connection_t;

// Whether the desktop has a tray host to take Beamwick's icon, watching the two kinds of tray host
// Qt can put an icon into: a StatusNotifier watcher on the session bus with a host registered, and
// an XEmbed system tray (the owner of the X selection _NET_SYSTEM_TRAY_S<screen>). Departures of
// either are reported as they happen: the watcher's bus name going, or the selection owner's window
// being destroyed. Arrivals are reported too: a watcher's bus name or host registration, and the
// announcement a new XEmbed tray host sends to the root window.
//
// Qt remembers the first answer it gets about the StatusNotifier watcher for the rest of the
// process, so the shell must not ask Qt before this watch has seen a host; asking Qt too early
// would hide a watcher that registers later.
class TrayHostWatch final : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    explicit TrayHostWatch(QObject* parent = nullptr);
    ~TrayHostWatch() override;

    // True when a tray host is there now.
    bool isAvailable();

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    // A tray host may have come or gone: ask isAvailable() again.
    void changed();

private slots:
    void onHostSignal();

private:
    void followBus(bool follow);
    bool statusNotifierHostRegistered() const;
    bool xembedTrayOwned();
    void hearManagers(xcb_connection_t* connection, int screen);

    std::uint32_t m_selectionAtom = 0;
    std::uint32_t m_managerAtom = 0;
    std::uint32_t m_owner = 0;
};
