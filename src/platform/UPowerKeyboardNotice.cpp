#include "platform/UPowerKeyboardNotice.h"

#include <QMetaObject>
#include <cstring>
#include <systemd/sd-bus.h>
#include <utility>

namespace {

constexpr const char* kService = "org.freedesktop.UPower";
constexpr const char* kPath = "/org/freedesktop/UPower/KbdBacklight";
constexpr const char* kInterface = "org.freedesktop.UPower.KbdBacklight";

UPowerKeyboardNotice* noticeOf(void* self)
{
    return static_cast<UPowerKeyboardNotice*>(self);
}

} // namespace

struct UPowerKeyboardCallbacks {
    static int onChanged(sd_bus_message* message, void* self, sd_bus_error*);
    static int onOwner(sd_bus_message* message, void* self, sd_bus_error*);
    static int onMaxBrightness(sd_bus_message* message, void* self, sd_bus_error*);
};

using Callbacks = UPowerKeyboardCallbacks;

UPowerKeyboardNotice::UPowerKeyboardNotice(QObject* parent)
    : DesktopLightNotice(parent), m_reader([this] { letGo(); })
{
    sd_bus* bus = m_reader.bus();
    if (!bus)
        return;
    // Matched by UPower's name, which the bus resolves to whoever owns it at each signal, so a
    // restarted UPower is heard without a new match.
    if (sd_bus_match_signal_async(bus, &m_changed, kService, kPath, kInterface,
                                  "BrightnessChangedWithSource", &Callbacks::onChanged, nullptr,
                                  this) < 0 ||
        sd_bus_match_signal_async(bus, &m_owner, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                  "org.freedesktop.DBus", "NameOwnerChanged", &Callbacks::onOwner,
                                  nullptr, this) < 0) {
        m_reader.close();
        return;
    }
    askMaxBrightness();
    m_reader.start();
}

UPowerKeyboardNotice::~UPowerKeyboardNotice()
{
    m_reader.close();
}

void UPowerKeyboardNotice::letGo()
{
    m_asking = sd_bus_slot_unref(m_asking);
    m_owner = sd_bus_slot_unref(m_owner);
    m_changed = sd_bus_slot_unref(m_changed);
    serve(0);
}

void UPowerKeyboardNotice::askMaxBrightness()
{
    m_asking = sd_bus_slot_unref(m_asking);
    // Its answer also says whether UPower is there and serves a keyboard light at all.
    m_askPending =
        sd_bus_call_method_async(m_reader.bus(), &m_asking, kService, kPath, kInterface,
                                 "GetMaxBrightness", &Callbacks::onMaxBrightness, this, "") >= 0;
    if (!m_askPending)
        serve(0);
    sd_bus_flush(m_reader.bus());
}

int Callbacks::onMaxBrightness(sd_bus_message* message, void* self, sd_bus_error*)
{
    auto* notice = noticeOf(self);
    int max = 0;
    if (sd_bus_message_is_method_error(message, nullptr) ||
        sd_bus_message_read(message, "i", &max) < 0)
        max = 0;
    notice->m_askPending = false;
    notice->serve(max);
    // A level that came before the light's range was known goes out now, where there is a light.
    if (const auto pending = std::exchange(notice->m_pending, std::nullopt); pending && max > 0)
        notice->postLater(*pending);
    return 0;
}

int Callbacks::onOwner(sd_bus_message* message, void* self, sd_bus_error*)
{
    const char* name = nullptr;
    const char* before = nullptr;
    const char* after = nullptr;
    if (sd_bus_message_read(message, "sss", &name, &before, &after) < 0 || !name ||
        std::strcmp(name, kService) != 0)
        return 0;
    auto* notice = noticeOf(self);
    notice->serve(0);
    // Started or restarted: what it serves now is asked afresh.
    if (after && *after)
        notice->askMaxBrightness();
    return 0;
}

int Callbacks::onChanged(sd_bus_message* message, void* self, sd_bus_error*)
{
    int brightness = 0;
    const char* source = nullptr;
    if (sd_bus_message_read(message, "is", &brightness, &source) < 0 || !source ||
        std::strcmp(source, "external") != 0 || brightness < 0)
        return 0;
    auto* notice = noticeOf(self);
    // A UPower that has just started may speak before it has answered what it serves: the level
    // waits for that answer rather than going out without the light's range.
    if (!notice->present()) {
        notice->m_pending = brightness;
        if (!notice->m_askPending)
            notice->askMaxBrightness();
        return 0;
    }
    notice->postLater(brightness);
    return 0;
}

void UPowerKeyboardNotice::postLater(int brightness)
{
    // Queued, so the receivers run outside sd-bus's dispatch.
    QMetaObject::invokeMethod(
        this, [this, brightness] { post(brightness); }, Qt::QueuedConnection);
}
