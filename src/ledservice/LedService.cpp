#include "ledservice/LedService.h"

#include "serviceabi/ServiceContract.h"

namespace {

LedDecision::Found foundOn(const LedFiles& led, const NoteStore& notes)
{
    // Each read once: a key pressed meanwhile must not make the decisions disagree.
    return {FactoryRows::ledCode(led.name()),
            led.maxBrightness(),
            led.brightness(),
            led.trigger(),
            led.lastKey(),
            notes.read(led.noteKey())};
}

} // namespace

LedService::LedService(std::unique_ptr<LedFiles> files, NoteStore& notes)
    : m_files(std::move(files)), m_notes(notes),
      m_state(LedDecision::load(foundOn(*m_files, m_notes)))
{}

std::optional<PropertyValue> LedService::get(std::string_view key) const
{
    if (key == ServiceContract::hardwareChangeAttributeKey) {
        if (const auto path = m_files->keyFile())
            return PropertyValue::string(*path);
        return std::nullopt;
    }
    return LedDecision::answer(m_state, key, *m_files);
}

bool LedService::set(const PropertyValue& value, std::string_view key)
{
    const auto event = LedDecision::eventFor(key, value);
    if (!event)
        return false;
    return carryOut(LedDecision::decide(m_state, *event, *m_files));
}

bool LedService::carryOut(LedOutcome outcome)
{
    bool answer = outcome.answer;
    for (const auto& step : outcome.steps) {
        if (carryOut(step.effect))
            continue;
        if (!step.mustSucceed) {
            answer = false;
            continue;
        }
        for (const auto& undo : step.undo)
            carryOut(undo);
        m_state = std::move(outcome.failed);
        return false;
    }
    m_state = std::move(outcome.next);
    return answer;
}

bool LedService::carryOut(const LedEffect::Any& effect)
{
    if (const auto* note = std::get_if<LedEffect::WriteNote>(&effect)) {
        m_notes.write({m_files->noteKey(), note->dark, note->hardwareMark, note->litByOthersAt});
        return true;
    }
    if (std::holds_alternative<LedEffect::ClearNote>(effect)) {
        m_notes.clear(m_files->noteKey());
        return true;
    }
    if (const auto* write = std::get_if<LedEffect::WriteBrightness>(&effect))
        return m_files->writeBrightness(write->step);
    if (const auto* write = std::get_if<LedEffect::WriteTrigger>(&effect))
        return m_files->writeTrigger(write->trigger);
    return m_files->writeTrigger("none") || m_files->writeBrightness(0);
}
