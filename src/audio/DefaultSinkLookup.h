#pragma once

#include "audio/Generation.h"
#include "audio/MeterError.h"
#include "audio/SoundServer.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// Finds the output to listen to: the server's default sink by name, then that sink's description
// (its monitor, format and index). Lock held, always.
class DefaultSinkLookup {
public:
    using Found = std::function<void(const SoundServer::Sink& sink, const std::string& name)>;
    using Step = MeterError::Step;
    using Failure = SoundServer::Failure;
    using Failed = std::function<void(Step step, const Failure& failure)>;

    DefaultSinkLookup(SoundServer& server, Found found, Failed failed)
        : m_server(server), m_found(std::move(found)), m_failed(std::move(failed))
    {}

    void begin();
    // Answers still on their way are dropped.
    void cancel() noexcept
    {
        m_stage = Stage::idle;
        m_lookups.end();
    }
    // The step under way, if any.
    std::optional<Step> step() const;
    // The default sink's name as the server last gave it.
    const std::string& name() const { return m_name; }

private:
    enum class Stage { idle, readingServer, readingSink };

    using Lookup = Generation::Ticket;

    void readSink(Lookup lookup, const std::optional<std::string>& name, const Failure& failure);
    void sinkRead(Lookup lookup, const std::optional<SoundServer::Sink>& sink,
                  const Failure& failure);
    // Whether the answer belongs to the lookup under way, at that stage.
    bool current(Lookup lookup, Stage stage) const
    {
        return m_lookups.current(lookup) && m_stage == stage;
    }
    void fail(Step step, const Failure& failure);

    SoundServer& m_server;
    Found m_found;
    Failed m_failed;
    Stage m_stage = Stage::idle;
    // An answer to a cancelled lookup is not taken for the next one's.
    Generation m_lookups;
    std::string m_name;
};
