// What the service writes to the LED, and the note it keeps meanwhile: lighting it, handing it
// back as found, and detaching and restoring its trigger.
#include "ledservice/LedService.h"

bool LedService::handBack()
{
    // A key pressed while nothing watched for it (the LED was away a moment and came back
    // unwatched) is the user's word all the same, over the table handed back.
    if (hardwareMark() != m_keySeen)
        adoptHardwareChange(PropertyValue::integer(1));
    m_level = 1.0;
    // Quitting does not switch the LED: one that is off stays dark, and keeps no trigger that
    // could light it.
    if (!m_on) {
        if (!m_device.isPresent())
            return false;
        forget();
        return true;
    }
    // Not light(): an LED never written in this run still has its trigger, which stays.
    if (!show(m_mapping.factoryBrightness()))
        return false;
    const bool restored = restoreTrigger();
    m_triggerDetached = false;
    // Handed back, the LED is the user's again.
    forget();
    return restored;
}

bool LedService::restoreTrigger()
{
    // Brightness first: writing 0 drops the trigger, so the trigger must come after it.
    if (!m_factoryTrigger)
        return true;
    const auto current = m_device.trigger();
    if (current && FactoryTable::triggerCode(*current) == *m_factoryTrigger)
        return true;
    for (const auto& name : m_device.availableTriggers()) {
        if (FactoryTable::triggerCode(name) == *m_factoryTrigger)
            return m_device.setTrigger(name);
    }
    // The trigger is gone (its module unloaded): the brightness is all that can be given back.
    return true;
}

bool LedService::detachTrigger()
{
    // With a trigger such as timer or heartbeat active, a step above 0 only sets the brightness
    // it blinks with, and the two would fight. The kernel detaches a trigger on "none", and on a
    // write of 0, which logind makes for a user who may not write the trigger attribute.
    const auto current = m_device.trigger();
    if (current && *current != "none") {
        // Either way the LED goes dark for a moment, so the note does first.
        remember(true);
        if (!m_device.setTrigger("none") && !show(0))
            return false;
    }
    m_triggerDetached = true;
    return true;
}

bool LedService::light(unsigned brightness)
{
    // A write that fails leaves the LED as it was, and so the note: also its trigger, detached
    // for this write (an LED that stays off keeps the trigger it was found with, which no later
    // run would know to give back).
    const auto noted = m_remembered;
    const auto attached = m_triggerDetached ? std::nullopt : m_device.trigger();
    const auto failed = [&] {
        if (attached && m_triggerDetached) {
            if (*attached != "none")
                m_device.setTrigger(*attached);
            m_triggerDetached = false;
        }
        if (noted != m_remembered && noted)
            remember(*noted);
        else if (noted != m_remembered)
            forget();
        return false;
    };
    if (!m_triggerDetached && !detachTrigger())
        return failed();
    // The note always errs towards "on": it turns dark before the LED does, and lit after. A
    // process killed in between leaves either a lit LED (on by itself) or a dark note.
    const bool dark = brightness == 0;
    if (dark)
        remember(true);
    if (!show(brightness))
        return failed();
    if (!dark)
        remember(false);
    return true;
}

std::string LedService::hardwareMark() const
{
    const auto mark = m_device.lastHardwareChange();
    return mark ? std::to_string(*mark) : "-";
}

void LedService::remember(bool dark)
{
    if (m_remembered == dark)
        return;
    // The mark of the last key taken in: one unseen yet keeps the note out of date, so that the
    // next process still takes that key as the user's.
    m_memory.write({m_device.directory().string(), dark, m_keySeen, m_litByOthersAt});
    m_remembered = dark;
}

void LedService::forget()
{
    if (!m_remembered)
        return;
    m_memory.clear(m_device.directory().string());
    m_remembered.reset();
}

bool LedService::show(unsigned brightness)
{
    // A vanished LED fails here rather than through a writer that cannot tell (a logind that
    // answers for a device it does not check).
    if (!m_device.isPresent())
        return false;
    for (const auto& writer : m_writers) {
        if (writer->write(m_device, brightness))
            return true;
    }
    return false;
}
