#include "audio/DefaultSinkLookup.h"

void DefaultSinkLookup::begin()
{
    const Lookup lookup = m_lookups.begin();
    m_stage = Stage::readingServer;
    if (!m_server.askDefaultSink([this, lookup](std::optional<std::string> name, int status) {
            if (current(lookup, Stage::readingServer))
                readSink(lookup, name, status);
        }))
        fail(Step::findingSpeakers, m_server.error());
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

void DefaultSinkLookup::readSink(Lookup lookup, const std::optional<std::string>& name, int status)
{
    if (!name) {
        fail(Step::findingSpeakers, status);
        return;
    }
    m_stage = Stage::readingSink;
    // A server without a default sink goes on to the next read, which then fails on its own.
    m_name = *name;
    if (!m_server.askSink(m_name, [this, lookup](std::optional<SoundServer::Sink> sink,
                                                 int status) { sinkRead(lookup, sink, status); }))
        fail(Step::readingSpeakerId, m_server.error());
}

void DefaultSinkLookup::sinkRead(Lookup lookup, const std::optional<SoundServer::Sink>& sink,
                                 int status)
{
    if (!current(lookup, Stage::readingSink))
        return;
    if (!sink) {
        fail(Step::readingSpeakerId, status);
        return;
    }
    m_stage = Stage::idle;
    m_found(*sink, m_name);
}

void DefaultSinkLookup::fail(Step step, int status)
{
    m_stage = Stage::idle;
    m_failed(step, status);
}
