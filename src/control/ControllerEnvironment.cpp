#include "control/LogoController.h"
#include "platform/JsonDefaultsStore.h"
#include "platform/PrivilegedRunner.h"
#include "platform/WillTerminate.h"

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
    environment.fileExists = [](const std::string& path) {
        std::error_code error;
        // A dangling symlink is still an entry the user would want removed.
        return std::filesystem::exists(std::filesystem::symlink_status(path, error));
    };
    return environment;
}
