#pragma once

#include "brightness/Brightness.h"
#include "control/FactoryTables.h"
#include "serviceabi/ServiceContract.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class ChangeNotice;
class DefaultsStore;

// The light Beamwick drives, and the one holder of what is the light's rather than the user's:
// which light it is, its factory table (kept by FactoryTables), on or off as the service finds
// it, the level last written to it, the lights held until they are handed back, and the change
// to another light. The controller decides the level; this writes it. Main thread only.
class DrivenLight : public QObject {
    Q_OBJECT
public:
    using Table = FactoryTables::Table;
    using WatchFile = std::function<std::unique_ptr<ChangeNotice>(const std::string& path)>;

    // The lowest level written, and the one Music holds between beats.
    static constexpr double minLevel = 0.02;
    static constexpr const char* mapKey = ServiceContract::tableKey;

    // Takes nothing from the service yet. The service is required (std::invalid_argument);
    // watchFile may be empty.
    DrivenLight(std::unique_ptr<Brightness> service, DefaultsStore& defaults, WatchFile watchFile);
    ~DrivenLight() override;

    bool available() const { return m_bs->available(); }
    // The lights the service can drive, by name, and the one in use; empty where it cannot tell.
    std::vector<QString> lights() const;
    QString name() const;
    // Whether the user left the choice of light to the service's own rule.
    bool isAutomatic() const;

    // At start, before the light in use is started: takes over what earlier runs left (their
    // tables, the user's choice, the lights they still hold). False when the service names its
    // lights but has none to drive.
    bool takeOver();
    // Takes the light in use afresh: its factory table, held from now until handed back, and no
    // level written yet. Says why, in the user's words, when it has no table to dim by.
    std::optional<QString> start();
    // On or off as the service finds the light; nothing when it does not say.
    std::optional<bool> foundOn() const;
    // False when the service did not switch the light.
    bool switchOn(bool on);
    // How fast the light follows each table written from now on.
    void setFollowTau(double seconds);

    // The factory table of the light in use; empty while dimming is unavailable.
    const Table& baseMap() const;
    // Writes the factory table with its brightness scaled by the level, clamped to minLevel ...
    // ServiceContract::topLevel, unless that is too close to the level last written to tell.
    void setLevel(double level);
    std::optional<double> lastApplied() const { return m_lastApplied; }
    // Something outside Beamwick set the light: the next level goes out even if it is the last.
    void forgetLevel() { m_lastApplied.reset(); }

    // Gives the light in use its factory table whole, as at quit, and tries again each light
    // still held from a hand-back that failed or a run that was killed.
    void handBack();
    // Hands the light in use back and asks the service for the named one ("" for its own pick),
    // saving the choice once the service has taken it; the new light is not started yet.
    bool switchTo(const QString& name);
    // Why the service did not take the named light, in the user's words.
    QString refusal(const QString& name) const;

    // Watches the light's own brightness keys, where the service names a file for them.
    void watchKeys();
    // Tells the service a key's change has been seen; false when there is nothing to take.
    bool acknowledgeKey();
    // Takes the brightness a key set as the factory one, and forgets the level it replaced.
    void takeKeyChange();
    // Tells the service the desktop set the light to this raw brightness, on a keyboard light of
    // that highest step; false when the light in use cannot be the one it set. Taken in, the
    // change is then a key's (takeKeyChange).
    bool takeDesktopLevel(int brightness, int maxBrightness);

signals:
    void keyChanged();

private:
    // The service's current table, when it can be dimmed by.
    std::optional<Table> serviceTable() const;
    std::optional<QString> loadFactoryTable();
    void recaptureFactoryBrightness();
    void retryHandBacks(const QString& leaving = {});

    // The light in use, by the number naming it among the tables (nothing where the service
    // names none). Absent while the light has no factory table: nothing is dimmed or handed back.
    struct InUse {
        std::optional<QString> light;
    };

    std::unique_ptr<Brightness> m_bs;
    DefaultsStore& m_defaults;
    FactoryTables m_tables;
    std::optional<InUse> m_inUse;
    std::optional<double> m_lastApplied;
    WatchFile m_watchFile;
    std::unique_ptr<ChangeNotice> m_keys;
};
