#include "platform/LogindSleepNotice.h"

#include <QMetaObject>
#include <utility>

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
        if (!sdbus::isError(reply))
            static_cast<LogindSleepNotice*>(self)->m_listening = true;
        return 0;
    }
};

LogindSleepNotice::LogindSleepNotice(QObject* parent)
    : SleepNotice(parent), m_reader([this] { m_match.reset(); })
{
    if (!m_reader.connected())
        return;
    auto match =
        m_reader.bus().matchSignal(system_names::logindManager, "PrepareForSleep",
                                   &onPrepareForSleep, this, &LogindSleepCallbacks::matchInstalled);
    if (!match) {
        m_reader.close();
        return;
    }
    m_match = std::move(*match);
    m_reader.start();
}

LogindSleepNotice::~LogindSleepNotice()
{
    m_reader.close();
}
