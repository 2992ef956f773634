#include "platform/SystemBusReader.h"

#include <QSocketNotifier>
#include <algorithm>
#include <chrono>

SystemBusReader::SystemBusReader(std::function<void()> lost, QObject* parent)
    : QObject(parent), m_lost(std::move(lost))
{
    if (auto opened = sdbus::Bus::openSystem())
        m_bus = std::move(*opened);
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
    if (!m_bus || !m_bus.flush()) {
        close();
        return;
    }
    m_notifier = new QSocketNotifier(m_bus.fd(), QSocketNotifier::Read, this);
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
    m_bus.flushAndClose();
}

void SystemBusReader::process()
{
    if (!m_bus)
        return;
    if (!m_bus.processAll())
        close();
    else
        armTimeout();
}

void SystemBusReader::armTimeout()
{
    // A time on CLOCK_MONOTONIC, steady_clock's.
    const auto deadline = m_bus.deadline();
    if (!deadline) {
        m_timeout.stop();
        return;
    }
    using namespace std::chrono;
    const auto left = *deadline - steady_clock::now().time_since_epoch();
    // Rounded up: woken a moment early, it would find nothing due and only arm again.
    m_timeout.start(std::max(ceil<milliseconds>(left), milliseconds(0)));
}
