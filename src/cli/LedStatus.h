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
    // logind session, or nothing when logind cannot write for us; savedChoice: the light chosen
    // from the tray menu, as the settings keep it ("" for Automatic). As the module does, a
    // usable BEAMWICK_LED comes first, then the saved choice when it can be opened, then the
    // rules.
    LedStatus(const std::filesystem::path& root, const char* requested,
              const std::optional<QString>& logindSession, const std::string& savedChoice = {});

    // True when an LED was found and one of the two ways of writing is open.
    bool usable() const { return m_usable; }
    const QStringList& lines() const { return m_lines; }
    // The LED it would drive and its highest step; "" and 0 when there is none.
    const std::string& ledName() const { return m_ledName; }
    unsigned ledMaxBrightness() const { return m_ledMax; }

private:
    // Why the LED in use is the one: BEAMWICK_LED, the menu, or a naming rule.
    enum class By { variable, menu, rule };
    struct Choice {
        std::string name;
        By by;
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
    std::string m_ledName;
    unsigned m_ledMax = 0;
};
