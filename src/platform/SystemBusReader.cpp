#include "platform/SystemBusReader.h"

#include <QSocketNotifier>
#include <systemd/sd-bus.h>

SystemBusReader::SystemBusReader(std::function<void()> lost, QObject* parent)
    : QObject(parent), m_lost(std::move(lost))
{
    if (sd_bus_open_system(&m_bus) < 0)
        m_bus = nullptr;
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
}
