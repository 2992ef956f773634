#pragma once

#include "platform/SleepNotice.h"
#include "platform/SystemBusReader.h"

// logind's PrepareForSleep(false) on the system bus, read in the Qt event loop: the bus
// connection's socket is watched, and sd-bus does its work only when it is ready. Without a
// system bus, or without logind on it, the notice never comes.
class LogindSleepNotice final : public SleepNotice {
    Q_OBJECT
public:
    explicit LogindSleepNotice(QObject* parent = nullptr);
    ~LogindSleepNotice() override;

    bool connected() const { return m_reader.connected(); }
    // The bus has taken the match: a signal sent from now on is heard.
    bool listening() const { return m_listening; }

private:
    // sd-bus's answer to the match, which reaches the notice through its user data.
    friend struct LogindSleepCallbacks;

    sdbus::Slot m_match;
    SystemBusReader m_reader;
    bool m_listening = false;
};
