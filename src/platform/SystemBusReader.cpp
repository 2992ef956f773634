#include "platform/SystemBusReader.h"

#include <QSocketNotifier>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <systemd/sd-bus.h>

SystemBusReader::SystemBusReader(std::function<void()> lost, QObject* parent)
    : QObject(parent), m_lost(std::move(lost))
{
    if (sd_bus_open_system(&m_bus) < 0)
        m_bus = nullptr;
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, &SystemBusReader::process);
}

SystemBusReader::~SystemBusReader()
{
    close();
}

void SystemBusReader::start()
{
    // Sent now: asked asynchronously, the matches and calls never hold up the start.
    if (!m_bus || sd_bus_flush(m_bus) < 0) {
        close();
        return;
    }
    m_notifier = new QSocketNotifier(sd_bus_get_fd(m_bus), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SystemBusReader::process);
    process();
}

void SystemBusReader::close()
{
    if (!m_bus)
        return;
    if (m_notifier)
        m_notifier->setEnabled(false);
    m_timeout.stop();
    if (m_lost)
        m_lost();
    m_bus = sd_bus_flush_close_unref(m_bus);
}

void SystemBusReader::process()
{
    if (!m_bus)
        return;
    int result;
    while ((result = sd_bus_process(m_bus, nullptr)) > 0) {
    }
    if (result < 0)
        close();
    else
        armTimeout();
}

void SystemBusReader::armTimeout()
{
    // A time on CLOCK_MONOTONIC, steady_clock's, or UINT64_MAX when nothing waits.
    uint64_t deadline = UINT64_MAX;
    if (sd_bus_get_timeout(m_bus, &deadline) < 0 || deadline == UINT64_MAX) {
        m_timeout.stop();
        return;
    }
    using namespace std::chrono;
    const auto left = microseconds(deadline) - steady_clock::now().time_since_epoch();
    // Rounded up: woken a moment early, it would find nothing due and only arm again.
    m_timeout.start(std::max(ceil<milliseconds>(left), milliseconds(0)));
}
