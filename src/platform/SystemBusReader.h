#pragma once

#include "systembus/SdBus.h"

#include <QObject>
#include <QTimer>
#include <functional>

class QSocketNotifier;

// The system bus through sd-bus, read in the Qt event loop: the connection's socket is watched,
// and sd-bus does its work only when it is ready. The owner asks for its matches and calls on
// bus(), then start()s the reading. A bus that goes away (a restarted dbus-daemon) is closed,
// with `lost` run first so that the owner can let go of what it holds on it, rather than read in
// a busy loop on a socket that stays readable. A call nobody answers fails at its deadline, woken
// by a timer: sd-bus notices a deadline only while it processes.
class SystemBusReader : public QObject {
    Q_OBJECT
public:
    explicit SystemBusReader(std::function<void()> lost, QObject* parent = nullptr);
    ~SystemBusReader() override;

    // Not connected without a system bus, and once closed.
    bool connected() const { return static_cast<bool>(m_bus); }
    sdbus::Bus& bus() { return m_bus; }
    void start();
    void close();

private:
    void process();
    void armTimeout();

    std::function<void()> m_lost;
    sdbus::Bus m_bus;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_timeout;
};
