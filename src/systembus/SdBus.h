#pragma once

#include "systembus/SystemNames.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <systemd/sd-bus.h>
#include <utility>
#include <variant>

// sd-bus's bus, slot and message as move-only owners, and the calls Beamwick makes on them with
// their failures as values: a negative errno, never a raw code to be checked by hand or a handle
// to be unreferenced on every path out.
namespace sdbus {

template <typename T, T* (*unref)(T*)> class Handle {
public:
    Handle() = default;
    explicit Handle(T* raw) : m_raw(raw) {}
    Handle(Handle&& other) noexcept : m_raw(std::exchange(other.m_raw, nullptr)) {}
    Handle& operator=(Handle&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.m_raw, nullptr));
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { reset(); }

    T* get() const { return m_raw; }
    explicit operator bool() const { return m_raw != nullptr; }
    void reset(T* raw = nullptr)
    {
        if (m_raw)
            unref(m_raw);
        m_raw = raw;
    }

private:
    T* m_raw = nullptr;
};

using Slot = Handle<sd_bus_slot, sd_bus_slot_unref>;
using Message = Handle<sd_bus_message, sd_bus_message_unref>;

// Why a call failed: sd-bus's negative errno.
struct Error {
    int code;
};

template <typename T> class [[nodiscard]] Result {
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Error error) : m_value(error) {}

    explicit operator bool() const { return std::holds_alternative<T>(m_value); }
    T& operator*() { return std::get<T>(m_value); }
    const T& operator*() const { return std::get<T>(m_value); }
    T* operator->() { return &std::get<T>(m_value); }
    const T* operator->() const { return &std::get<T>(m_value); }
    int error() const { return *this ? 0 : std::get<Error>(m_value).code; }

private:
    std::variant<T, Error> m_value;
};

// Nothing to give but success.
struct Done {};

// A connection to the system bus. Closed without waiting for what is still unsent unless asked
// to flush: flushing waits for the bus without any bound.
class Bus {
public:
    static Result<Bus> openSystem();

    Bus() = default;
    Bus(Bus&& other) noexcept : m_raw(std::exchange(other.m_raw, nullptr)) {}
    Bus& operator=(Bus&& other) noexcept;
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;
    ~Bus() { close(); }

    sd_bus* get() const { return m_raw; }
    explicit operator bool() const { return m_raw != nullptr; }
    bool isOpen() const { return m_raw && sd_bus_is_open(m_raw) > 0; }
    void close();
    void flushAndClose();

    // Sends what is queued without waiting for answers.
    Result<Done> flush();
    // Handles everything that has arrived: false once the bus failed.
    Result<Done> processAll();
    // Handles one message: whether there was one.
    Result<bool> processOne();
    Result<Done> wait(std::chrono::microseconds bound);
    // When the earliest call waiting for its answer gives up, on CLOCK_MONOTONIC; none when
    // nothing waits.
    std::optional<std::chrono::microseconds> deadline() const;
    int fd() const { return sd_bus_get_fd(m_raw); }

    // A signal of `object`'s interface; `installed` (may be null) hears the bus take the match.
    Result<Slot> matchSignal(const system_names::Object& object, const char* member,
                             sd_bus_message_handler_t handler, void* user,
                             sd_bus_message_handler_t installed = nullptr);
    // The bus's NameOwnerChanged for one name alone: a name matched without its argument would
    // wake the process at every client that comes and goes on the system.
    Result<Slot> matchOwnerChanged(const char* service, sd_bus_message_handler_t handler,
                                   void* user);
    // PropertiesChanged of `object`'s path, where `path` does not say better.
    Result<Slot> matchPropertiesChanged(const system_names::Object& object, const char* path,
                                        sd_bus_message_handler_t handler, void* user);
    Result<Message> methodCall(const system_names::Object& object, const char* member,
                               const char* path = nullptr);
    // Sends the call; the answer, or the error at the deadline, goes to the handler.
    Result<Slot> callAsync(const Message& call, sd_bus_message_handler_t handler, void* user,
                           std::chrono::microseconds timeout = std::chrono::microseconds(0));
    // Properties.Get of one property of `object` (at `path` where given).
    Result<Slot> getProperty(const system_names::Object& object, const char* property,
                             sd_bus_message_handler_t handler, void* user,
                             const char* path = nullptr);

private:
    explicit Bus(sd_bus* raw) : m_raw(raw) {}
    sd_bus* m_raw = nullptr;
};

// Appends a call's arguments, `types` in sd-bus's notation.
template <typename... Arguments>
Result<Done> append(const Message& call, const char* types, Arguments... arguments)
{
    if (const int r = sd_bus_message_append(call.get(), types, arguments...); r < 0)
        return Error{r};
    return Done{};
}

// An answer's or a signal's contents.
bool isError(const Message& message);
bool isError(sd_bus_message* message);
// A boolean answer to Properties.Get, or none.
std::optional<bool> readBoolVariant(sd_bus_message* message);
// The value PropertiesChanged carries for one boolean property: the value, or, where it was only
// named as changed (invalidated), none and `invalidated` set.
std::optional<bool> readChangedBool(sd_bus_message* message, const char* interface,
                                    const char* property, bool& invalidated);

} // namespace sdbus
