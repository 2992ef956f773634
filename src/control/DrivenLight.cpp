// The light in use: its factory table, each light's own, kept by FactoryTables so that each
// light's brightness and trigger outlive any order of runs, kills and changes of light; and the
// levels written over it.
#include "control/DrivenLight.h"

#include "control/StoredSettings.h"
#include "platform/ChangeNotice.h"
#include "serviceabi/ServiceContract.h"

#include <cmath>
#include <stdexcept>

namespace {

constexpr double kWriteThreshold = 0.004;
const QString kNoTable = QStringLiteral("Brightness table not found — dimming unavailable.");

} // namespace

DrivenLight::DrivenLight(std::unique_ptr<Brightness> service, DefaultsStore& defaults,
                         WatchFile watchFile)
    : m_bs(std::move(service)), m_defaults(defaults), m_tables(defaults),
      m_watchFile(std::move(watchFile))
{
    if (!m_bs)
        throw std::invalid_argument("DrivenLight: no brightness service client");
}

DrivenLight::~DrivenLight() = default;

std::optional<QString> DrivenLight::start()
{
    m_lastApplied.reset();
    const auto noTable = loadFactoryTable();
    // Held from now until handed back: a run that ends without quitting leaves it to the next.
    if (!baseMap().empty())
        m_tables.noteHandBack(name(), m_inUse->light.value_or(QString()), false);
    // A key pressed while Beamwick did not drive the light is how bright the user wants it.
    recaptureFactoryBrightness();
    return noTable;
}

std::optional<QString> DrivenLight::loadFactoryTable()
{
    m_inUse.reset();
    auto current = serviceTable();
    // A light that gives no table now takes none saved for another.
    if (!current && !name().isEmpty())
        return kNoTable;
    const auto light = current ? FactoryTables::lightOf(*current) : std::nullopt;
    // A light met before takes its own table; only one met for the first time is captured as
    // found, so a light never takes the state another run left it in as the factory's.
    const auto saved = m_tables.of(light);
    if (!saved && !current)
        return kNoTable;
    m_tables.saveInUse(light, saved ? *saved : *current);
    m_inUse = InUse{light};
    return std::nullopt;
}

std::optional<DrivenLight::Table> DrivenLight::serviceTable() const
{
    const auto captured = m_bs->get(mapKey);
    auto table = captured ? captured->asTable() : std::nullopt;
    if (!table || !StoredSettings::isUsableFactoryTable(*table))
        return std::nullopt;
    return table;
}

const DrivenLight::Table& DrivenLight::baseMap() const
{
    static const Table none;
    return m_inUse ? *m_tables.inUse() : none;
}

void DrivenLight::recaptureFactoryBrightness()
{
    // A brightness key that set a brightness says how bright the user wants the light: the
    // service's table now carries it. One that switched the light off says nothing of that, and
    // the service's brightness may then be the one it found the light at, off. The rest of the
    // saved rows stays: the trigger the service sees now may be Beamwick's own detaching, never
    // the user's.
    const auto keyed = m_bs->get(ServiceContract::hardwareBrightnessChangedKey);
    if (!keyed || !keyed->isNumber() || keyed->integerValue() != 1)
        return;
    const auto table = serviceTable();
    if (baseMap().empty() || !table || table->empty())
        return;
    constexpr std::size_t found = ServiceContract::tableFoundIndex;
    Table kept = baseMap();
    if (kept.size() != table->size())
        kept = *table;
    for (std::size_t row = 0; row < kept.size(); ++row)
        kept[row][found] = (*table)[row][found];
    m_tables.saveInUse(FactoryTables::lightOf(*table), kept);
}

std::optional<bool> DrivenLight::foundOn() const
{
    const auto backlight = m_bs->get(ServiceContract::backlightModeKey);
    if (!backlight || !backlight->isNumber())
        return std::nullopt;
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

void DrivenLight::setLevel(double level)
{
    const Table& base = baseMap();
    if (base.empty())
        return;
    // A level that is not a number cannot be clamped; writing it would put NaN into every row.
    if (std::isnan(level))
        return;
    double x = level;
    if (x <= minLevel)
        x = minLevel;
    if (x > ServiceContract::topLevel)
        x = ServiceContract::topLevel;
    if (m_lastApplied && std::fabs(x - *m_lastApplied) < kWriteThreshold)
        return;
    if (!m_bs->available() || !m_bs->hasSetImp())
        return;

    Table rows;
    rows.reserve(base.size());
    for (const auto& row : base)
        rows.push_back({row[0], x * row[1]});
    if (m_bs->set(PropertyValue::table(rows), mapKey))
        m_lastApplied = x;
}

void DrivenLight::watchKeys()
{
    // Each light has its own file, or none: a watch of another light's goes.
    m_keys.reset();
    if (!m_watchFile)
        return;
    const auto attribute = m_bs->get(ServiceContract::hardwareChangeAttributeKey);
    if (!attribute || !attribute->isString())
        return;
    m_keys = m_watchFile(attribute->stringValue());
    if (m_keys)
        connect(m_keys.get(), &ChangeNotice::changed, this, &DrivenLight::keyChanged);
}

bool DrivenLight::acknowledgeKey()
{
    return m_bs->set(PropertyValue::integer(1), ServiceContract::hardwareBrightnessChangedKey);
}

bool DrivenLight::takeDesktopLevel(int brightness, int maxBrightness)
{
    // The desktop's control serves keyboard lights alone.
    if (!name().contains(QLatin1String("kbd_backlight")))
        return false;
    return m_bs->set(PropertyValue::array({PropertyValue::integer(brightness),
                                           PropertyValue::integer(maxBrightness)}),
                     ServiceContract::desktopBrightnessKey);
}

void DrivenLight::takeKeyChange()
{
    recaptureFactoryBrightness();
    forgetLevel();
}
