#include "platform/SystemDarkConditions.h"

#include <QMetaObject>
#include <cstring>

struct DarkConditionCallbacks {
    static int onChanged(sd_bus_message* message, void* user, sd_bus_error*)
    {
        auto& property = *static_cast<SystemDarkConditions::Property*>(user);
        bool invalidated = false;
        const auto value =
            sdbus::readChangedBool(message, property.object.interface, property.name, invalidated);
        if (value) {
            property.value = value;
            property.owner->postLater();
        } else if (invalidated) {
            // Named as changed without its value: asked afresh.
            property.owner->ask(property);
        }
        return 0;
    }

    static int onAnswer(sd_bus_message* message, void* user, sd_bus_error*)
    {
        auto& property = *static_cast<SystemDarkConditions::Property*>(user);
        // An error (a logind without a lid, a call nobody answered) leaves it unknown.
        property.value = sdbus::readBoolVariant(message);
        property.asking.reset();
        property.owner->postLater();
        return 0;
    }

    static int onSession(sd_bus_message* message, void* user, sd_bus_error*)
    {
        auto* self = static_cast<SystemDarkConditions*>(user);
        const char* path = nullptr;
        if (sdbus::isError(message) || sd_bus_message_read(message, "o", &path) < 0 || !path)
            return 0;
        // Followed where logind keeps the session: its change signal names that path, never
        // the "auto" that stands for the caller's session.
        self->m_locked.path = path;
        self->watch(self->m_locked);
        return 0;
    }

    static int onOwner(sd_bus_message* message, void* user, sd_bus_error*)
    {
        const char* name = nullptr;
        const char* before = nullptr;
        const char* after = nullptr;
        if (sd_bus_message_read(message, "sss", &name, &before, &after) < 0 || !name)
            return 0;
        static_cast<SystemDarkConditions*>(user)->serviceChanged(name, after && *after);
        return 0;
    }
};

SystemDarkConditions::SystemDarkConditions(QObject* parent)
    : DarkConditions(parent), m_reader([this] { letGo(); })
{
    if (!m_reader.connected())
        return;
    auto logind = m_reader.bus().matchOwnerChanged(system_names::logind,
                                                   &DarkConditionCallbacks::onOwner, this);
    auto upower = m_reader.bus().matchOwnerChanged(system_names::upower,
                                                   &DarkConditionCallbacks::onOwner, this);
    if (!logind || !upower) {
        m_reader.close();
        return;
    }
    m_logindOwner = std::move(*logind);
    m_upowerOwner = std::move(*upower);
    watch(m_lid);
    findSession();
    watch(m_battery);
    m_reader.start();
}

SystemDarkConditions::~SystemDarkConditions()
{
    m_reader.close();
}

void SystemDarkConditions::watch(Property& property)
{
    // Matched before asked, so that no change falls between the answer and the match.
    auto changed = m_reader.bus().matchPropertiesChanged(
        property.object, property.path.empty() ? nullptr : property.path.c_str(),
        &DarkConditionCallbacks::onChanged, &property);
    if (changed)
        property.changed = std::move(*changed);
    ask(property);
}

void SystemDarkConditions::ask(Property& property)
{
    auto asking = m_reader.bus().getProperty(
        property.object, property.name, &DarkConditionCallbacks::onAnswer, &property,
        property.path.empty() ? nullptr : property.path.c_str());
    property.asking = asking ? std::move(*asking) : sdbus::Slot();
}

void SystemDarkConditions::findSession()
{
    m_session.reset();
    auto call = m_reader.bus().methodCall(system_names::logindManager, "GetSession");
    if (!call || !sdbus::append(*call, "s", "auto"))
        return;
    if (auto asking = m_reader.bus().callAsync(*call, &DarkConditionCallbacks::onSession, this))
        m_session = std::move(*asking);
}

void SystemDarkConditions::forget(Property& property)
{
    property.changed.reset();
    property.asking.reset();
    property.value.reset();
}

void SystemDarkConditions::serviceChanged(const char* name, bool present)
{
    if (std::strcmp(name, system_names::logind) == 0) {
        forget(m_lid);
        forget(m_locked);
        m_locked.path.clear();
        m_session.reset();
        if (present) {
            watch(m_lid);
            findSession();
        }
    } else if (std::strcmp(name, system_names::upower) == 0) {
        forget(m_battery);
        if (present)
            watch(m_battery);
    } else {
        return;
    }
    postLater();
}

void SystemDarkConditions::postLater()
{
    // Queued, so the receivers run outside sd-bus's dispatch, and once for several answers.
    if (std::exchange(m_postQueued, true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_postQueued = false;
            post({m_lid.value, m_locked.value, m_battery.value});
        },
        Qt::QueuedConnection);
}

void SystemDarkConditions::letGo()
{
    m_logindOwner.reset();
    m_upowerOwner.reset();
    m_session.reset();
    forget(m_lid);
    forget(m_locked);
    forget(m_battery);
    postLater();
}
