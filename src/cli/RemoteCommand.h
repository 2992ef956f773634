#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>
#include <vector>

// The control options of one call, in the order they are applied: --light, --mode,
// --brightness, --breathe-seconds, --sensitivity, then --on, --off or --toggle. The light comes
// first so that every later setting lands on the light that stays, and switching comes last so
// that a light switched on shows the new settings at once.
class RemoteCommand {
public:
    enum class Switch { none, on, off, toggle };

    struct Write {
        // The D-Bus property (RemoteNames), and the value as the command line gave it.
        QString property;
        QString text;
    };

    void add(Write write) { m_writes.push_back(std::move(write)); }
    void setSwitch(Switch power) { m_switch = power; }

    bool empty() const { return m_writes.empty() && m_switch == Switch::none; }
    Switch power() const { return m_switch; }
    const std::vector<Write>& writes() const { return m_writes; }

    struct Value {
        QString property;
        QVariant value;
    };
    // The writes as D-Bus values: numbers parsed, the mode in any letter case turned into its
    // raw value, "automatic" into "" (a light's name is checked against the running Beamwick's
    // lights later). The first refusal's message when one is not accepted.
    struct Plan {
        std::vector<Value> values;
        QString refusal;
    };
    Plan plan() const;
    // Whether a write names a light, and that light is one of these ("" for Automatic).
    QString checkLight(const QStringList& lights) const;

private:
    std::vector<Write> m_writes;
    Switch m_switch = Switch::none;
};
