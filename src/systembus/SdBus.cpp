#include "systembus/SdBus.h"

#include <string>

namespace sdbus {
namespace {

template <typename T> Result<T> failed(int code)
{
    return Error{code};
}

} // namespace

Result<Bus> Bus::openSystem()
{
    // Connecting to a local socket does not wait for the bus: authentication and the greeting
    // run inside the first bounded call or the event loop.
    sd_bus* raw = nullptr;
    if (const int r = sd_bus_open_system(&raw); r < 0)
        return failed<Bus>(r);
    return Bus(raw);
}

Bus& Bus::operator=(Bus&& other) noexcept
{
    if (this != &other) {
        close();
        m_raw = std::exchange(other.m_raw, nullptr);
    }
    return *this;
}

void Bus::close()
{
    if (m_raw)
        sd_bus_close_unref(m_raw);
    m_raw = nullptr;
}

void Bus::flushAndClose()
{
    if (m_raw)
        sd_bus_flush_close_unref(m_raw);
    m_raw = nullptr;
}

Result<Done> Bus::flush()
{
    if (const int r = sd_bus_flush(m_raw); r < 0)
        return failed<Done>(r);
    return Done{};
}

Result<Done> Bus::processAll()
{
    int r;
    while ((r = sd_bus_process(m_raw, nullptr)) > 0) {
    }
    if (r < 0)
        return failed<Done>(r);
    return Done{};
}

Result<bool> Bus::processOne()
{
    const int r = sd_bus_process(m_raw, nullptr);
    if (r < 0)
        return failed<bool>(r);
    return r > 0;
}

Result<Done> Bus::wait(std::chrono::microseconds bound)
{
    const auto us = bound.count() > 0 ? static_cast<std::uint64_t>(bound.count()) : 0;
    if (const int r = sd_bus_wait(m_raw, us); r < 0)
        return failed<Done>(r);
    return Done{};
}

std::optional<std::chrono::microseconds> Bus::deadline() const
{
    std::uint64_t at = UINT64_MAX;
    if (!m_raw || sd_bus_get_timeout(m_raw, &at) < 0 || at == UINT64_MAX)
        return std::nullopt;
    return std::chrono::microseconds(at);
}

Result<Slot> Bus::matchSignal(const system_names::Object& object, const char* member,
                              sd_bus_message_handler_t handler, void* user,
                              sd_bus_message_handler_t installed)
{
    sd_bus_slot* raw = nullptr;
    // Matched by the service's name, which the bus resolves to whoever owns it at each signal,
    // so a restarted service is heard without a new match.
    if (const int r = sd_bus_match_signal_async(m_raw, &raw, object.service, object.path,
                                                object.interface, member, handler, installed, user);
        r < 0)
        return failed<Slot>(r);
    return Slot(raw);
}

Result<Slot> Bus::matchOwnerChanged(const char* service, sd_bus_message_handler_t handler,
                                    void* user)
{
    const std::string rule = std::string("type='signal',sender='org.freedesktop.DBus',"
                                         "path='/org/freedesktop/DBus',"
                                         "interface='org.freedesktop.DBus',"
                                         "member='NameOwnerChanged',arg0='") +
                             service + "'";
    sd_bus_slot* raw = nullptr;
    if (const int r = sd_bus_add_match_async(m_raw, &raw, rule.c_str(), handler, nullptr, user);
        r < 0)
        return failed<Slot>(r);
    return Slot(raw);
}

Result<Slot> Bus::matchPropertiesChanged(const system_names::Object& object, const char* path,
                                         sd_bus_message_handler_t handler, void* user)
{
    const system_names::Object at{object.service, path ? path : object.path,
                                  system_names::properties};
    return matchSignal(at, "PropertiesChanged", handler, user);
}

Result<Message> Bus::methodCall(const system_names::Object& object, const char* member,
                                const char* path)
{
    sd_bus_message* raw = nullptr;
    if (const int r = sd_bus_message_new_method_call(
            m_raw, &raw, object.service, path ? path : object.path, object.interface, member);
        r < 0)
        return failed<Message>(r);
    return Message(raw);
}

Result<Slot> Bus::callAsync(const Message& call, sd_bus_message_handler_t handler, void* user,
                            std::chrono::microseconds timeout)
{
    sd_bus_slot* raw = nullptr;
    const auto us = timeout.count() > 0 ? static_cast<std::uint64_t>(timeout.count()) : 0;
    if (const int r = sd_bus_call_async(m_raw, &raw, call.get(), handler, user, us); r < 0)
        return failed<Slot>(r);
    return Slot(raw);
}

Result<Slot> Bus::getProperty(const system_names::Object& object, const char* property,
                              sd_bus_message_handler_t handler, void* user, const char* path)
{
    const system_names::Object at{object.service, path ? path : object.path,
                                  system_names::properties};
    auto call = methodCall(at, "Get");
    if (!call)
        return failed<Slot>(call.error());
    if (const int r = sd_bus_message_append(call->get(), "ss", object.interface, property); r < 0)
        return failed<Slot>(r);
    return callAsync(*call, handler, user);
}

} // namespace sdbus
