#include "control/LogoController.h"
#include "platform/JsonDefaultsStore.h"
#include "platform/LogindSleepNotice.h"
#include "platform/PrivilegedRunner.h"
#include "platform/SysfsChangeNotice.h"
#include "platform/WillTerminate.h"

#include <QCoreApplication>
#include <filesystem>
#include <system_error>

LogoController::Environment LogoController::Environment::standard()
{
    static const SteadyClock clock;
    static PkexecRunner runner;
    Environment environment;
    environment.brightness = std::make_unique<Brightness>();
    environment.meter = makeSystemAudioMeter();
    environment.defaults = &JsonDefaultsStore::standard();
    environment.clock = &clock;
    environment.willTerminate = &WillTerminate::application();
    environment.privilegedRunner = &runner;
    // Lives as long as the application object, which outlives the controller.
    static auto* sleep = new LogindSleepNotice(QCoreApplication::instance());
    environment.sleepNotice = sleep;
    environment.watchFile = [](const std::string& path) -> std::unique_ptr<ChangeNotice> {
        auto notice = std::make_unique<SysfsChangeNotice>(path);
        if (!notice->watching())
            return nullptr;
        return notice;
    };
    environment.fileExists = [](const std::string& path) {
        std::error_code error;
        // A dangling symlink is still an entry the user would want removed.
        return std::filesystem::exists(std::filesystem::symlink_status(path, error));
    };
    return environment;
}
