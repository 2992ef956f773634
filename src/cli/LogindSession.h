#pragma once

#include <QString>
#include <chrono>
#include <optional>

// The caller's own logind session, as the brightness service module addresses it
// ("session/auto"): logind lets a user set an LED's brightness only from an active session.
class LogindSession {
public:
    // The session's id when logind answers within `timeout` and the session is active.
    static std::optional<QString> activeId(std::chrono::milliseconds timeout);
};
