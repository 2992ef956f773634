// Reading what an answer or a signal carries.
#include "systembus/SdBus.h"

#include <cstdlib>
#include <cstring>

namespace sdbus {

bool isError(sd_bus_message* message)
{
    return sd_bus_message_is_method_error(message, nullptr) > 0;
}

bool isError(const Message& message)
{
    return isError(message.get());
}

std::optional<bool> readBoolVariant(sd_bus_message* message)
{
    int value = 0;
    if (isError(message) || sd_bus_message_read(message, "v", "b", &value) < 0)
        return std::nullopt;
    return value != 0;
}

std::optional<bool> readChangedBool(sd_bus_message* message, const char* interface,
                                    const char* property, bool& invalidated)
{
    invalidated = false;
    const char* changedInterface = nullptr;
    if (sd_bus_message_read(message, "s", &changedInterface) < 0 || !changedInterface ||
        std::strcmp(changedInterface, interface) != 0)
        return std::nullopt;
    std::optional<bool> found;
    if (sd_bus_message_enter_container(message, 'a', "{sv}") < 0)
        return std::nullopt;
    while (sd_bus_message_enter_container(message, 'e', "sv") > 0) {
        const char* name = nullptr;
        if (sd_bus_message_read(message, "s", &name) < 0)
            return std::nullopt;
        int value = 0;
        if (name && std::strcmp(name, property) == 0 &&
            sd_bus_message_read(message, "v", "b", &value) >= 0)
            found = value != 0;
        else if (sd_bus_message_skip(message, "v") < 0)
            return std::nullopt;
        if (sd_bus_message_exit_container(message) < 0)
            return std::nullopt;
    }
    if (found || sd_bus_message_exit_container(message) < 0)
        return found;
    char** names = nullptr;
    if (sd_bus_message_read_strv(message, &names) < 0 || !names)
        return std::nullopt;
    for (char** name = names; *name; ++name) {
        invalidated = invalidated || std::strcmp(*name, property) == 0;
        std::free(*name);
    }
    std::free(names);
    return std::nullopt;
}

} // namespace sdbus
