#include "app/LedStatus.h"

#include "ledservice/LedFinder.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

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
                     const std::optional<QString>& logindSession)
{
    const LedFinder finder(root);
    if (const auto why = finder.whyPassedOver(requested))
        m_lines << QStringLiteral("BEAMWICK_LED=%1 is ignored: %2")
                       .arg(QString::fromLocal8Bit(requested), QString::fromStdString(*why));

    const auto device = finder.find(requested);
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
        return;
    }

    const auto brightness = device->brightness();
    m_lines << QStringLiteral("LED: %1 (max_brightness %2, brightness %3)")
                   .arg(QString::fromStdString(device->name()))
                   .arg(device->maxBrightness())
                   .arg(brightness ? QString::number(*brightness) : QStringLiteral("unreadable"));

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
}
