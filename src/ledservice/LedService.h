#pragma once

#include "ledservice/LedDecision.h"
#include "ledservice/LedFiles.h"
#include "ledservice/LedState.h"
#include "ledservice/NoteStore.h"
#include "serviceabi/PropertyValue.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string_view>

// The brightness service properties (ServiceContract) served on one LED: each write taken as an
// event that LedDecision decides, and its effects carried out on the LED's files and its note.
//
// The backlight mode switches the LED; the table reports the factory table (FactoryRows) and
// takes scaled copies of it as levels (LevelMapping), or, whole, hands the LED back as found;
// the follow time constant is kept and read back. Where the firmware changes the brightness
// itself (a hotkey), the caller watches the file the hardware change attribute names and, on a
// change, writes the hardware brightness change; the desktop's own control of the keyboard light
// is taken the same way.
class LedService {
public:
    // Long enough for logind to fork its writer, short enough that a stuck one goes unnoticed.
    static constexpr std::chrono::milliseconds defaultLogindTimeout{50};

    // The LED taken as found, with the note `notes` keeps about it, which must outlive this.
    LedService(std::unique_ptr<LedFiles> files, NoteStore& notes);

    std::optional<PropertyValue> get(std::string_view key) const;
    bool set(const PropertyValue& value, std::string_view key);

    const std::string& name() const { return m_files->name(); }
    const LedState& state() const { return m_state; }

private:
    bool carryOut(LedOutcome outcome);
    bool carryOut(const LedEffect::Any& effect);

    std::unique_ptr<LedFiles> m_files;
    NoteStore& m_notes;
    LedState m_state;
};
