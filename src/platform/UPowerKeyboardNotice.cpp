#include "platform/UPowerKeyboardNotice.h"

#include <QMetaObject>
#include <cstring>
#include <utility>

namespace {

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
    if (!m_reader.connected())
        return;
    sdbus::Bus& bus = m_reader.bus();
    auto changed = bus.matchSignal(system_names::upowerKeyboard, "BrightnessChangedWithSource",
                                   &Callbacks::onChanged, this);
    if (!changed) {
        m_reader.close();
        return;
    }
    m_changed = std::move(*changed);
    auto owner = bus.matchOwnerChanged(system_names::upower, &Callbacks::onOwner, this);
    if (!owner) {
        m_reader.close();
        return;
    }
    m_owner = std::move(*owner);
    askMaxBrightness();
    m_reader.start();
}

UPowerKeyboardNotice::~UPowerKeyboardNotice()
{
    m_reader.close();
}

void UPowerKeyboardNotice::letGo()
{
    m_asking.reset();
    m_owner.reset();
    m_changed.reset();
    serve(0);
}

void UPowerKeyboardNotice::askMaxBrightness()
{
    m_asking.reset();
    sdbus::Bus& bus = m_reader.bus();
    // Its answer also says whether UPower is there and serves a keyboard light at all.
    if (auto call = bus.methodCall(system_names::upowerKeyboard, "GetMaxBrightness")) {
        if (auto asking = bus.callAsync(*call, &Callbacks::onMaxBrightness, this))
            m_asking = std::move(*asking);
    }
    m_askPending = static_cast<bool>(m_asking);
    if (!m_askPending)
        serve(0);
    // Unsent, the call would wait for whatever next wakes the reader.
    static_cast<void>(bus.flush());
}

int Callbacks::onMaxBrightness(sd_bus_message* message, void* self, sd_bus_error*)
{
    auto* notice = noticeOf(self);
    int max = 0;
    if (sdbus::isError(message) || sd_bus_message_read(message, "i", &max) < 0)
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
        std::strcmp(name, system_names::upowerKeyboard.service) != 0)
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
