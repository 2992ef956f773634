#include "app/Composition.h"

#include "audio/SoundServerMeter.h"
#include "brightness/Brightness.h"
#include "control/LogoController.h"
#include "platform/LogindSleepNotice.h"
#include "platform/SysfsChangeNotice.h"
#include "platform/SystemDarkConditions.h"
#include "platform/TimerTicker.h"
#include "platform/UPowerKeyboardNotice.h"

#include <filesystem>
#include <system_error>

namespace {

bool fileExists(const std::string& path)
{
    std::error_code error;
    // A dangling symlink is still an entry the user would want removed.
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

std::unique_ptr<ChangeNotice> watchSysfsFile(const std::string& path)
{
    auto notice = std::make_unique<SysfsChangeNotice>(path);
    if (!notice->watching())
        return nullptr;
    return notice;
}

} // namespace

Composition::Composition() : Composition(Options{}) {}

Composition::Composition(Options options)
    : m_serviceModule(std::move(options.serviceModule)),
      m_settings(options.settingsFile.isEmpty() ? JsonDefaultsStore::standardPath()
                                                : options.settingsFile,
                 options.settingsSaveDelayMs)
{}

Composition::~Composition() = default;

std::unique_ptr<LogoController> Composition::makeController()
{
    if (!m_sleep)
        m_sleep = std::make_unique<LogindSleepNotice>();
    if (!m_desktopLight)
        m_desktopLight = std::make_unique<UPowerKeyboardNotice>();
    if (!m_dark)
        m_dark = std::make_unique<SystemDarkConditions>();
    return std::make_unique<LogoController>(LogoController::Environment{
        .brightness = m_serviceModule.empty() ? std::make_unique<Brightness>()
                                              : std::make_unique<Brightness>(m_serviceModule),
        .meter = std::make_unique<SoundServerMeter>(),
        .ticker = std::make_unique<TimerTicker>(),
        .flashTicker = std::make_unique<TimerTicker>(),
        .defaults = m_settings,
        .clock = m_clock,
        .willTerminate = m_willTerminate,
        .privilegedRunner = m_runner,
        .fileExists = &fileExists,
        .sleepNotice = m_sleep.get(),
        .watchFile = &watchSysfsFile,
        .desktopLight = m_desktopLight.get(),
        .darkConditions = m_dark.get(),
    });
}
