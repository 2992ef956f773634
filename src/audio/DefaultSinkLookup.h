#pragma once

#include "audio/MeterError.h"

#include <functional>
#include <optional>
#include <string>

struct pa_context;
struct pa_server_info;
struct pa_sink_info;

// Finds the output to listen to: the server's default sink by name, then that sink's description
// (its monitor, format and index). Lock held, always.
class DefaultSinkLookup {
public:
    using Found = std::function<void(const pa_sink_info& sink, const std::string& name)>;
    using Step = MeterError::Step;
    using Failed = std::function<void(Step step, int status)>;

    DefaultSinkLookup(Found found, Failed failed)
        : m_found(std::move(found)), m_failed(std::move(failed))
    {}

    void begin(pa_context* context);
    // Answers still on their way are dropped.
    void cancel() noexcept { m_stage = Stage::idle; }
    // The step under way, if any.
    std::optional<Step> step() const;
    // The default sink's name as the server last gave it.
    const std::string& name() const { return m_name; }

private:
    enum class Stage { idle, readingServer, readingSink };

    void readSink(const pa_server_info* info);
    void fail(Step step, int status);

    static void serverInfoArrived(pa_context* context, const pa_server_info* info,
                                  void* self) noexcept;
    static void sinkInfoArrived(pa_context* context, const pa_sink_info* info, int eol,
                                void* self) noexcept;

    Found m_found;
    Failed m_failed;
    pa_context* m_context = nullptr;
    Stage m_stage = Stage::idle;
    std::string m_name;
};
