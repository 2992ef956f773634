#pragma once

#include "shell/StatusNotifierWatch.h"
#include "shell/XEmbedTrayWatch.h"

#include <QObject>

// Whether the desktop has a tray host to take Beamwick's icon, watching the two kinds of tray host
// Qt can put an icon into: a StatusNotifier watcher on the session bus with a host registered, and
// an XEmbed system tray. Arrivals and departures of either are reported as they happen.
//
// Qt remembers the first answer it gets about the StatusNotifier watcher for the rest of the
// process, so the shell must not ask Qt before this watch has seen a host; asking Qt too early
// would hide a watcher that registers later.
class TrayHostWatch final : public QObject {
    Q_OBJECT
public:
    explicit TrayHostWatch(QObject* parent = nullptr);

    // True when a tray host is there now.
    bool isAvailable();

signals:
    // A tray host may have come or gone: ask isAvailable() again.
    void changed();

private:
    StatusNotifierWatch m_statusNotifier;
    XEmbedTrayWatch m_xembed;
};
