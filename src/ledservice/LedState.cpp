#include "ledservice/LedState.h"

LedState::Phase LedState::phase() const
{
    if (!on)
        return Phase::off;
    switch (note) {
    case Note::none:
        return Phase::asFound;
    case Note::lit:
        return Phase::lit;
    case Note::dark:
        return Phase::heldDark;
    }
    return Phase::asFound;
}

LevelMapping LedState::mapping() const
{
    return LevelMapping(max, factory.found > 0 ? factory.found : factory.litByOthersAt.value_or(0));
}
