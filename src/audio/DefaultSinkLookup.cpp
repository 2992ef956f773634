#include "audio/DefaultSinkLookup.h"

void DefaultSinkLookup::begin()
{
    const Lookup lookup = m_lookups.begin();
    m_stage = Stage::readingServer;
    if (const auto refused = m_server.askDefaultSink(
            [this, lookup](std::optional<std::string> name, const Failure& failure) {
                if (current(lookup, Stage::readingServer))
                    readSink(lookup, name, failure);
            }))
        fail(Step::findingSpeakers, *refused);
}

std::optional<DefaultSinkLookup::Step> DefaultSinkLookup::step() const
{
    switch (m_stage) {
    case Stage::readingServer:
        return Step::findingSpeakers;
    case Stage::readingSink:
        return Step::readingSpeakerId;
    case Stage::idle:
        break;
    }
    return std::nullopt;
}

void DefaultSinkLookup::readSink(Lookup lookup, const std::optional<std::string>& name,
                                 const Failure& failure)
{
    if (!name) {
        fail(Step::findingSpeakers, failure);
        return;
    }
    m_stage = Stage::readingSink;
    // A server without a default sink goes on to the next read, which then fails on its own.
    m_name = *name;
    if (const auto refused = m_server.askSink(
            m_name, [this, lookup](std::optional<SoundServer::Sink> sink, const Failure& failure) {
                sinkRead(lookup, sink, failure);
            }))
        fail(Step::readingSpeakerId, *refused);
}

void DefaultSinkLookup::sinkRead(Lookup lookup, const std::optional<SoundServer::Sink>& sink,
                                 const Failure& failure)
{
    if (!current(lookup, Stage::readingSink))
        return;
    if (!sink) {
        fail(Step::readingSpeakerId, failure);
        return;
    }
    m_stage = Stage::idle;
    m_found(*sink, m_name);
}

void DefaultSinkLookup::fail(Step step, const Failure& failure)
{
    m_stage = Stage::idle;
    m_failed(step, failure);
}
