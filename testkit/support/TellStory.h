#pragma once

#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/state.h>

// Replays a story once, as a named case: the steps a shrunk failure printed, on a fresh model
// and system. A broken invariant fails the test with what the stories would have printed.
template <typename Model, typename System>
void tellStory(const rc::state::Commands<rc::state::Command<Model, System>>& story)
{
    try {
        System system;
        rc::state::runAll(story, Model(), system);
    } catch (const rc::detail::CaseResult& failure) {
        ADD_FAILURE() << failure.description;
    }
}
