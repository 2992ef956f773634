// The light in use: taken at start, and the levels and switches written to it.
#include "control/DrivenLight.h"

#include "control/StoredSettings.h"
#include "platform/ChangeNotice.h"
#include "serviceabi/FactoryRows.h"
#include "serviceabi/ServiceContract.h"

#include <cmath>
#include <stdexcept>

namespace {

constexpr double kWriteThreshold = 0.004;
const QString kNoTable = QStringLiteral("Brightness table not found — dimming unavailable.");
const QString kUnreachable = QStringLiteral("Couldn't reach the system's brightness service.");

} // namespace

DrivenLight::DrivenLight(std::unique_ptr<Brightness> service, DefaultsStore& defaults,
                         WatchFile watchFile)
    : m_bs(std::move(service)), m_defaults(defaults), m_tables(defaults),
      m_watchFile(std::move(watchFile))
{
    if (!m_bs)
        throw std::invalid_argument("DrivenLight: no brightness service client");
    if (m_bs->available())
        takeOver();
}

DrivenLight::~DrivenLight() = default;

std::optional<QString> DrivenLight::start()
{
    m_lastApplied.reset();
    m_keys.reset();
    if (!m_bs->available()) {
        m_state = Unreachable{};
        return kUnreachable;
    }
    // A service that names its lights but has none to drive is as good as none, until a light
    // is chosen from the menu.
    const auto named = m_bs->get(ServiceContract::lightKey);
    if (named && named->isString() && named->stringValue().empty()) {
        m_state = NoLight{};
        return kUnreachable;
    }
    const QString name = serviceName();
    watchKeys();
    // A light that gives no table now takes none saved for another.
    const auto current = serviceTable();
    const auto light = current ? FactoryTables::lightOf(*current) : std::nullopt;
    // A light met before takes its own table; only one met for the first time is captured as
    // found, so a light never takes the state another run left it in as the factory's.
    const auto saved = (current || name.isEmpty()) ? m_tables.of(light) : std::nullopt;
    if (!saved && !current) {
        m_state = Away{name};
        return kNoTable;
    }
    m_tables.saveInUse(light, saved ? *saved : *current);
    m_state = Started{name, light, *m_tables.inUse()};
    // Held from now until handed back: a run that ends without quitting leaves it to the next.
    if (!m_tables.inUse()->empty())
        m_tables.noteHandBack(name, light.value_or(QString()), false);
    // A key pressed while Beamwick did not drive the light is how bright the user wants it.
    recaptureFactoryBrightness();
    return std::nullopt;
}

QString DrivenLight::serviceName() const
{
    const auto name = m_bs->get(ServiceContract::lightKey);
    return name && name->isString() ? QString::fromStdString(name->stringValue()) : QString();
}

std::optional<DrivenLight::Table> DrivenLight::serviceTable() const
{
    const auto captured = m_bs->get(ServiceContract::tableKey);
    auto table = captured ? captured->asTable() : std::nullopt;
    if (!table || !StoredSettings::isUsableFactoryTable(*table))
        return std::nullopt;
    return table;
}

void DrivenLight::recaptureFactoryBrightness()
{
    // A brightness key that set a brightness says how bright the user wants the light: the
    // service's table now carries it. One that switched the light off says nothing of that, and
    // the service's brightness may then be the one it found the light at, off. The rest of the
    // saved rows stays: the trigger the service sees now may be Beamwick's own detaching, never
    // the user's.
    auto* started = std::get_if<Started>(&m_state);
    const auto keyed = m_bs->get(ServiceContract::hardwareBrightnessChangedKey);
    if (!started || started->table.empty() || !keyed || !keyed->isNumber() ||
        keyed->integerValue() != 1)
        return;
    const auto table = serviceTable();
    if (!table || table->empty())
        return;
    m_tables.saveInUse(FactoryTables::lightOf(*table),
                       FactoryRows::withFoundOf(started->table, *table));
    started->table = *m_tables.inUse();
}

bool DrivenLight::isOn() const
{
    const auto backlight = m_bs->get(ServiceContract::backlightModeKey);
    if (!backlight || !backlight->isNumber())
        return true;
    return backlight->integerValue() != 0;
}

bool DrivenLight::switchOn(bool on)
{
    return m_bs->set(PropertyValue::integer(on ? 1 : 0), ServiceContract::backlightModeKey);
}

void DrivenLight::setFollowTau(double seconds)
{
    m_bs->set(PropertyValue::real(seconds), ServiceContract::followTauKey);
}

std::optional<double> DrivenLight::setLevel(double level)
{
    const auto* started = std::get_if<Started>(&m_state);
    // A level that is not a number cannot be clamped; writing it would put NaN into every row.
    if (!started || started->table.empty() || std::isnan(level))
        return m_lastApplied;
    double x = level;
    if (x <= minLevel)
        x = minLevel;
    if (x > ServiceContract::topLevel)
        x = ServiceContract::topLevel;
    if (m_lastApplied && std::fabs(x - *m_lastApplied) < kWriteThreshold)
        return m_lastApplied;
    if (writeScaled(started->table, x))
        m_lastApplied = x;
    return m_lastApplied;
}

void DrivenLight::darken()
{
    const auto* started = std::get_if<Started>(&m_state);
    if (!started || started->table.empty())
        return;
    writeScaled(started->table, 0.0);
    m_lastApplied.reset();
}

bool DrivenLight::writeScaled(const Table& table, double level)
{
    if (!m_bs->hasSetImp())
        return false;
    Table rows;
    rows.reserve(table.size());
    for (const auto& row : table)
        rows.push_back({row[0], level * row[1]});
    return m_bs->set(PropertyValue::table(rows), ServiceContract::tableKey);
}

void DrivenLight::watchKeys()
{
    // Each light has its own file, or none.
    if (!m_watchFile)
        return;
    const auto attribute = m_bs->get(ServiceContract::hardwareChangeAttributeKey);
    if (!attribute || !attribute->isString())
        return;
    m_keys = m_watchFile(attribute->stringValue());
    if (m_keys)
        connect(m_keys.get(), &ChangeNotice::changed, this, &DrivenLight::keyChanged);
}

bool DrivenLight::takeUsersChange(const std::optional<DesktopLevel>& desktop)
{
    if (!m_bs->available())
        return false;
    bool taken;
    if (desktop) {
        // The desktop's control serves keyboard lights alone.
        if (!serviceName().contains(QLatin1String("kbd_backlight")))
            return false;
        taken = m_bs->set(PropertyValue::array({PropertyValue::integer(desktop->brightness),
                                                PropertyValue::integer(desktop->maxBrightness)}),
                          ServiceContract::desktopBrightnessKey);
    } else {
        taken = m_bs->set(PropertyValue::integer(1), ServiceContract::hardwareBrightnessChangedKey);
    }
    if (!taken)
        return false;
    // Saved, the brightness the user chose is what later starts dim from and quitting gives
    // back; the next level goes out even if it is the last one written.
    recaptureFactoryBrightness();
    m_lastApplied.reset();
    return true;
}
