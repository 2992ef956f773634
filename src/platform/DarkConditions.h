#pragma once

#include <QObject>
#include <optional>

// What the system says of the times the light may go dark though the user left it on: the lid
// closed, the session locked, the computer on battery. Each is unknown while nobody on the system
// bus answers for it (no logind, a logind without a lid, no UPower). Emitted on the main thread.
// The real one is the system's (SystemDarkConditions); a test tells one of these itself.
class DarkConditions : public QObject {
    Q_OBJECT
public:
    struct Values {
        std::optional<bool> lidClosed;
        std::optional<bool> locked;
        std::optional<bool> onBattery;
        bool operator==(const Values&) const = default;
    };

    using QObject::QObject;

    const Values& values() const { return m_values; }
    void post(const Values& values)
    {
        if (values == m_values)
            return;
        m_values = values;
        emit changed();
    }

signals:
    void changed();

private:
    Values m_values;
};
