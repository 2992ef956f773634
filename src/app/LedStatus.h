#pragma once

#include <QString>
#include <QStringList>
#include <filesystem>
#include <optional>
#include <string>

// What `beamwick --status` says about the light: the LED the service module would pick under an
// LED class folder, its steps, and how it would be written, or why there is none. It only
// reads: the light is never touched.
class LedStatus {
public:
    // requested: the user's BEAMWICK_LED or nothing; logindSession: the id of this user's active
    // logind session, or nothing when logind cannot write for us.
    LedStatus(const std::filesystem::path& root, const char* requested,
              const std::optional<QString>& logindSession);

    // True when an LED was found and one of the two ways of writing is open.
    bool usable() const { return m_usable; }
    const QStringList& lines() const { return m_lines; }

private:
    QStringList m_lines;
    bool m_usable = false;
};
