#pragma once

#include "brightness/Brightness.h"
#include "control/FactoryTables.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

class ChangeNotice;
class DefaultsStore;

// The light Beamwick drives, as one state: whether the brightness service can be reached and
// has a light to drive, and once a light is taken, which it is and its factory table (kept by
// FactoryTables, so that each light's brightness and trigger outlive any order of runs, kills
// and changes of light). On or off is the service's alone: asked, never kept. The controller
// decides the level; this writes it. Main thread only.
class DrivenLight : public QObject {
    Q_OBJECT
public:
    using Table = FactoryTables::Table;
    using WatchFile = std::function<std::unique_ptr<ChangeNotice>(const std::string& path)>;

    // No brightness service at all.
    struct Unreachable {};
    // A service that names its lights, and has none to drive.
    struct NoLight {};
    // Taken, but it gave no table to dim by: away for now, or a light that has none.
    struct Away {
        QString name;
    };
    // Taken with its factory table, held from now until handed back; `light` is the number that
    // names it among the tables (nothing where the service names none). An empty table, which a
    // service may report, dims nothing.
    struct Started {
        QString name;
        std::optional<QString> light;
        Table table;
    };
    using State = std::variant<Unreachable, NoLight, Away, Started>;

    // The brightness key and the desktop's level of the keyboard light, raw, on a light of that
    // highest step.
    struct DesktopLevel {
        int brightness;
        int maxBrightness;
    };

    // The lowest level written, and the one Music holds between beats.
    static constexpr double minLevel = 0.02;
    // The settings key of the light chosen from the menu; absent or "" for the service's pick.
    static constexpr const char* choiceKey = "light";

    // Takes over what earlier runs left (their tables, the user's choice, the lights they still
    // hold), but not the light in use yet. The service is required (std::invalid_argument);
    // watchFile may be empty.
    DrivenLight(std::unique_ptr<Brightness> service, DefaultsStore& defaults, WatchFile watchFile);
    ~DrivenLight() override;

    const State& state() const { return m_state; }
    // The lights the service can drive, by name, and the one in use; empty where it cannot tell.
    std::vector<QString> lights() const;
    // As the service finds the light; on where it does not say.
    bool isOn() const;

    // Takes the light in use afresh, as at start: its factory table, its keys watched, and no
    // level written yet. Why it cannot be dimmed, in the user's words, where it cannot.
    std::optional<QString> start();
    // False when the service did not switch the light.
    bool switchOn(bool on);
    // Writes the factory table with its brightness scaled by the level, clamped to minLevel ...
    // ServiceContract::topLevel, unless that is too close to the level last written to tell.
    // Gives the level last written since the start, if any.
    std::optional<double> setLevel(double level);
    // Holds the light at step 0 though on, which the service tells from off (a kill meanwhile
    // leaves the next start the light as the user set it); written while off too, so that a
    // switch meanwhile lights nothing. The next level goes out whatever it is.
    void darken();
    // How fast the light follows each table written from now on.
    void setFollowTau(double seconds);
    // Gives the light in use its factory table whole, as at quit, and tries again each light
    // still held from a hand-back that failed or a run that was killed.
    void handBack();
    // Asks the service for the named light ("" for its own pick) before anything else: once it
    // has taken it, the light until then is handed back as at quit and the choice saved; the new
    // one is not started yet. Why the service did not take it, in the user's words.
    std::optional<QString> choose(const QString& name);
    // A brightness key set the light, or, given a level, the desktop did: false when it cannot
    // have been the light in use, or the service did not take it. Taken, the brightness set is
    // the factory one, saved, and the level it replaced forgotten.
    bool takeUsersChange(const std::optional<DesktopLevel>& desktop);

signals:
    void keyChanged();

private:
    QString serviceName() const;
    // The service's current table, when it can be dimmed by.
    std::optional<Table> serviceTable() const;
    // Writes the table with its brightness scaled by the level; whether the service took it.
    bool writeScaled(const Table& table, double level);
    void takeOver();
    void recaptureFactoryBrightness();
    void retryHandBacks(const QString& leaving = {});
    void watchKeys();
    QString refusal(const QString& name) const;

    std::unique_ptr<Brightness> m_bs;
    DefaultsStore& m_defaults;
    FactoryTables m_tables;
    State m_state;
    std::optional<double> m_lastApplied;
    WatchFile m_watchFile;
    std::unique_ptr<ChangeNotice> m_keys;
};
