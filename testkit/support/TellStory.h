#pragma once

#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/state.h>

// Replays a story once, as a named case: the steps a shrunk failure printed, on a fresh model
// and system (a System, made by default, where the commands take a Sut it derives from). A broken
// invariant fails the test with what the stories would have printed.
template <typename Model, typename Sut, typename System = Sut>
void tellStory(const rc::state::Commands<rc::state::Command<Model, Sut>>& story)
{
    try {
        System system;
        rc::state::runAll(story, Model(), system);
    } catch (const rc::detail::CaseResult& failure) {
        ADD_FAILURE() << failure.description;
    }
}
