#include "platform/LogindSleepNotice.h"

#include <QMetaObject>
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

LogindSleepNotice::LogindSleepNotice(QObject* parent)
    : SleepNotice(parent), m_reader([this] { m_match = sd_bus_slot_unref(m_match); })
{
    if (!m_reader.bus())
        return;
    if (sd_bus_match_signal_async(m_reader.bus(), &m_match, "org.freedesktop.login1",
                                  "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                  "PrepareForSleep", &onPrepareForSleep,
                                  &LogindSleepCallbacks::matchInstalled, this) < 0) {
        m_reader.close();
        return;
    }
    m_reader.start();
}

LogindSleepNotice::~LogindSleepNotice()
{
    m_reader.close();
}
