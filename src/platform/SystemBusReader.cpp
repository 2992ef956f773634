#include "platform/SystemBusReader.h"

#include <QSocketNotifier>
#include <algorithm>
#include <climits>
#include <cstdint>
#include <systemd/sd-bus.h>
#include <time.h>

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
    // An absolute CLOCK_MONOTONIC time in microseconds, or UINT64_MAX when nothing waits.
    uint64_t deadline = UINT64_MAX;
    if (sd_bus_get_timeout(m_bus, &deadline) < 0 || deadline == UINT64_MAX) {
        m_timeout.stop();
        return;
    }
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t nowUs = uint64_t(now.tv_sec) * 1000000 + uint64_t(now.tv_nsec) / 1000;
    // Rounded up: a wake-up a moment early would find nothing due and only arm again.
    const uint64_t ms = deadline > nowUs ? (deadline - nowUs + 999) / 1000 : 0;
    m_timeout.start(int(std::min<uint64_t>(ms, INT_MAX)));
}
