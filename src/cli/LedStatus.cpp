#include "cli/LedStatus.h"

#include "leddiscovery/LedFinder.h"

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString kMenuChoice =
    QStringLiteral("the light chosen from the tray menu (saved in the settings)");

QString fromPath(const std::filesystem::path& path)
{
    return QString::fromStdString(path.string());
}

// Opening without writing changes nothing on an LED; it answers with the rights a write would
// have (the effective user, ACLs, a read-only mount), which a permission-bit check would not.
bool canOpenForWriting(const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

} // namespace

LedStatus::LedStatus(const std::filesystem::path& root, const char* requested,
                     const std::optional<QString>& logindSession, const std::string& savedChoice)
{
    const LedFinder finder(root);
    if (const auto why = finder.whyPassedOver(requested))
        m_lines << QStringLiteral("BEAMWICK_LED=%1 is ignored: %2")
                       .arg(QString::fromLocal8Bit(requested), QString::fromStdString(*why));

    std::optional<LedDevice> device;
    By by = By::rule;
    if (requested && !finder.whyPassedOver(requested)) {
        device = LedDevice::open(root, requested);
        by = By::variable;
    } else if (!savedChoice.empty()) {
        if (const auto why = finder.whyPassedOver(savedChoice.c_str()))
            m_lines << QStringLiteral("The light chosen from the tray menu, %1, is passed over: %2")
                           .arg(QString::fromStdString(savedChoice), QString::fromStdString(*why));
        else if ((device = LedDevice::open(root, savedChoice)))
            by = By::menu;
    }
    if (!device)
        device = finder.find(nullptr);
    if (!device) {
        std::error_code error;
        if (!std::filesystem::exists(root, error)) {
            m_lines << QStringLiteral("LED: none. %1 does not exist: this system shows no LEDs to "
                                      "programs (containers and virtual machines often hide them).")
                           .arg(fromPath(root));
        } else {
            m_lines << QStringLiteral("LED: none. No LED under %1 is named like a lid logo (a name "
                                      "with \"logo\") or a keyboard backlight (a name ending in "
                                      "\"::kbd_backlight\")%2.")
                           .arg(fromPath(root),
                                requested ? QString()
                                          : QStringLiteral(", and BEAMWICK_LED is not set to "
                                                           "name another"));
        }
        listPassedOver(finder, root, std::nullopt);
        return;
    }

    m_ledName = device->name();
    m_ledMax = device->maxBrightness();
    m_lines << QStringLiteral("LED: %1").arg(describe(*device));
    m_lines << QStringLiteral("Chosen: %1")
                   .arg(by == By::menu
                            ? kMenuChoice
                            : ruleText(by == By::variable ? LedFinder::Rule::named
                                                          : LedFinder::ruleOf(device->name()),
                                       true));

    const QString file = fromPath(device->attribute("brightness"));
    // The module tries logind first and falls back to the file, so the same order is told here.
    if (logindSession) {
        m_lines << QStringLiteral("Writes through: logind (SetBrightness on session %1)")
                       .arg(*logindSession);
        m_usable = true;
    } else if (canOpenForWriting(device->attribute("brightness"))) {
        m_lines << QStringLiteral("Writes through: sysfs (%1)").arg(file);
        m_usable = true;
    } else {
        m_lines << QStringLiteral("Writes through: nothing, no permission. logind has no active "
                                  "session of this user to write for it, and %1 is not writable "
                                  "by this user.")
                       .arg(file);
    }
    if (const auto trigger = triggerText(*device))
        m_lines << *trigger;
    listPassedOver(finder, root, Choice{device->name(), by});
}

std::optional<QString> LedStatus::triggerText(const LedDevice& device)
{
    const auto trigger = device.trigger();
    if (!trigger || *trigger == "none")
        return std::nullopt;
    const QString name = QString::fromStdString(*trigger);
    // Driving the LED detaches its trigger, also through logind (a write of 0 does), but only a
    // write to the trigger attribute can put it back, and logind offers none.
    if (canOpenForWriting(device.attribute("trigger")))
        return QStringLiteral("Trigger: %1, detached while Beamwick drives the LED and put back "
                              "when it hands the LED back lit")
            .arg(name);
    return QStringLiteral("Trigger: %1 will stay detached after Beamwick has driven the LED: "
                          "putting it back needs write access to %2, which this user lacks "
                          "(logind sets only the brightness)")
        .arg(name, fromPath(device.attribute("trigger")));
}

QString LedStatus::describe(const LedDevice& device)
{
    const auto brightness = device.brightness();
    const auto trigger = device.trigger();
    // One arg() for all: chained, a later one would replace a "%2" inside the LED's name.
    return QStringLiteral("%1 (max_brightness %2, brightness %3, %4)")
        .arg(QString::fromStdString(device.name()), QString::number(device.maxBrightness()),
             brightness ? QString::number(*brightness) : QStringLiteral("unreadable"),
             trigger ? QStringLiteral("trigger ") + QString::fromStdString(*trigger)
                     : QStringLiteral("no trigger"));
}

QString LedStatus::ruleText(LedFinder::Rule rule, bool withReason)
{
    switch (rule) {
    case LedFinder::Rule::named:
        return QStringLiteral("BEAMWICK_LED names it");
    case LedFinder::Rule::lidLogo:
        return withReason ? QStringLiteral("a lid-logo LED (its name contains \"lid_logo\")")
                          : QStringLiteral("a lid-logo LED");
    case LedFinder::Rule::logo:
        return withReason ? QStringLiteral("a logo LED (its name contains \"logo\")")
                          : QStringLiteral("a logo LED");
    case LedFinder::Rule::keyboardBacklight:
        return withReason
                   ? QStringLiteral("a keyboard backlight (its name ends in \"::kbd_backlight\")")
                   : QStringLiteral("a keyboard backlight");
    case LedFinder::Rule::none:
        break;
    }
    return QStringLiteral("not named like a lid logo or a keyboard backlight");
}

void LedStatus::listPassedOver(const LedFinder& finder, const std::filesystem::path& root,
                               const std::optional<Choice>& chosen)
{
    // In the order the rules try them, so the list reads as the search went.
    auto names = finder.names();
    std::stable_sort(names.begin(), names.end(), [](const auto& a, const auto& b) {
        return LedFinder::ruleOf(a) < LedFinder::ruleOf(b);
    });

    QStringList passed;
    QStringList unnamed;
    for (const auto& name : names) {
        if (chosen && name == chosen->name)
            continue;
        const auto rule = LedFinder::ruleOf(name);
        if (rule == LedFinder::Rule::none) {
            unnamed << QString::fromStdString(name);
            continue;
        }
        const auto device = LedDevice::open(root, name);
        if (!device) {
            passed << QStringLiteral("  %1: no readable brightness, or max_brightness below 1")
                          .arg(QString::fromStdString(name));
            continue;
        }
        QString why;
        const QString winner = chosen ? QString::fromStdString(chosen->name) : QString();
        if (!chosen)
            why = QStringLiteral("usable only since the search; ask again");
        else if (chosen->by == By::variable)
            why = QStringLiteral("BEAMWICK_LED names %1").arg(winner);
        else if (chosen->by == By::menu)
            why = QStringLiteral("%1 is %2").arg(winner, kMenuChoice);
        else if (LedFinder::ruleOf(chosen->name) == rule)
            why = QStringLiteral("%1 comes first in name order").arg(winner);
        else
            why = QStringLiteral("%1 comes first, as %2")
                      .arg(winner, ruleText(LedFinder::ruleOf(chosen->name), false));
        passed << QStringLiteral("  %1: %2").arg(describe(*device), why);
    }
    if (!unnamed.isEmpty())
        passed << QStringLiteral("  %1: %2")
                      .arg(unnamed.join(QStringLiteral(", ")),
                           ruleText(LedFinder::Rule::none, true));
    if (passed.isEmpty())
        return;
    m_lines << QStringLiteral("Passed over under %1:").arg(fromPath(root));
    m_lines << passed;
}
