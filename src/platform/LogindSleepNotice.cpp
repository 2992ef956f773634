#include "platform/LogindSleepNotice.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <systemd/sd-bus.h>

namespace {

int onPrepareForSleep(sd_bus_message* message, void* self, sd_bus_error*)
{
    int sleeping = 0;
    if (sd_bus_message_read(message, "b", &sleeping) < 0 || sleeping)
        return 0;
    // Queued, so the receivers run outside sd-bus's dispatch.
    QMetaObject::invokeMethod(static_cast<LogindSleepNotice*>(self), &SleepNotice::post,
                              Qt::QueuedConnection);
    return 0;
}

} // namespace

struct LogindSleepCallbacks {
    static int matchInstalled(sd_bus_message* reply, void* self, sd_bus_error*)
    {
        if (!sd_bus_message_is_method_error(reply, nullptr))
            static_cast<LogindSleepNotice*>(self)->m_listening = true;
        return 0;
    }
};

LogindSleepNotice::LogindSleepNotice(QObject* parent) : SleepNotice(parent)
{
    if (sd_bus_open_system(&m_bus) < 0) {
        m_bus = nullptr;
        return;
    }
    // Asynchronous, so that a bus that is slow to answer never holds up the start.
    if (sd_bus_match_signal_async(m_bus, &m_match, "org.freedesktop.login1",
                                  "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                  "PrepareForSleep", &onPrepareForSleep,
                                  &LogindSleepCallbacks::matchInstalled, this) < 0 ||
        sd_bus_flush(m_bus) < 0) {
        close();
        return;
    }
    m_notifier = new QSocketNotifier(sd_bus_get_fd(m_bus), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &LogindSleepNotice::process);
    process();
}

LogindSleepNotice::~LogindSleepNotice()
{
    close();
}

void LogindSleepNotice::close()
{
    if (m_notifier)
        m_notifier->setEnabled(false);
    m_match = sd_bus_slot_unref(m_match);
    m_bus = sd_bus_flush_close_unref(m_bus);
}

void LogindSleepNotice::process()
{
    if (!m_bus)
        return;
    int result;
    while ((result = sd_bus_process(m_bus, nullptr)) > 0) {
    }
    // The bus went away (a restarted dbus-daemon): no more notices, and no busy loop on a
    // socket that stays readable.
    if (result < 0)
        close();
}
