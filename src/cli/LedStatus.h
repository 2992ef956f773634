#pragma once

#include "leddiscovery/LedFinder.h"

#include <QString>
#include <QStringList>
#include <filesystem>
#include <optional>
#include <string>

// What `beamwick --status` says about the light: the LED the service module would pick under an
// LED class folder, its steps and trigger, by which rule it was picked and how it would be
// written, or why there is none; and every other LED there with why it was passed over. It
// only reads: the light is never touched.
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
    struct Choice {
        std::string name;
        bool named;
    };

    static QString describe(const LedDevice& device);
    // What becomes of the LED's active trigger; nothing when it has none.
    static std::optional<QString> triggerText(const LedDevice& device);
    // The rule in words, and with the name test it stands for.
    static QString ruleText(LedFinder::Rule rule, bool withReason);
    void listPassedOver(const LedFinder& finder, const std::filesystem::path& root,
                        const std::optional<Choice>& chosen);

    QStringList m_lines;
    bool m_usable = false;
};
