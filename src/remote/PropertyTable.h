#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

class LogoController;

// The properties of org.beamwick.Beamwick1 over the controller: what each reads as, and each
// write checked (SettingRules) and then made through the controller's own operation, exactly as
// the panel or the light menu makes it, so saving, applying and the texts are the same.
class PropertyTable {
public:
    explicit PropertyTable(LogoController& logo) : m_logo(logo) {}

    // Every property by name, with its D-Bus value (b, s, d, as).
    QVariantMap read() const;
    static bool has(const QString& property);
    static bool writable(const QString& property);
    // The <property> elements of the interface's introspection data.
    static QString introspection();

    struct Refusal {
        // The D-Bus error name, and a message that names what is accepted.
        QString name;
        QString message;
    };
    // Writes the property, or refuses and changes nothing. A well-formed change that did not take
    // effect (the light refused to switch, a light chosen is gone) is refused with the reason.
    std::optional<Refusal> write(const QString& property, const QVariant& value);
    // Switches the light as the On property does; refused when the light stayed as it was.
    std::optional<Refusal> switched(bool on);

private:
    std::optional<Refusal> writeNumber(const QString& property, const QVariant& value);

    LogoController& m_logo;
};
