#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

class QSocketNotifier;
struct sd_bus;

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

    // Null without a system bus, and once closed.
    sd_bus* bus() const { return m_bus; }
    void start();
    void close();

private:
    void process();
    void armTimeout();

    std::function<void()> m_lost;
    sd_bus* m_bus = nullptr;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_timeout;
};
