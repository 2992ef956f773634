#pragma once

#include "audio/Generation.h"
#include "audio/LoopTimer.h"
#include "audio/SoundServer.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <string>

// Tells the capture when the output it listens to is no longer the one to hear: the server's
// default sink became another (headphones plugged in, a Bluetooth speaker connected, another
// output chosen in the sound settings), or the sink heard went away. Lock held, always.
class OutputWatch {
public:
    // Following no sink: the capture waits for one.
    static constexpr std::uint32_t noSink = std::numeric_limits<std::uint32_t>::max();

    // `unanswered` runs when the server leaves a question about its default unanswered for
    // `patience`: the connection is no use then, though the stream may still record.
    OutputWatch(SoundServer& server, std::function<void()> moved,
                SoundServer::Clock::duration patience, std::function<void()> unanswered)
        : m_server(server), m_moved(std::move(moved)), m_patience(patience),
          m_unanswered(std::move(unanswered)), m_deadline(server)
    {}

    // The capture now listens to this sink; the watch compares later defaults with it. Without
    // a sink (noSink) the capture waits for one: it also moves when a sink appears, in case the
    // server names the same default as before, now back.
    void follow(std::string sinkName, std::uint32_t sinkIndex);
    // Nothing to compare with until the next follow().
    void end() noexcept
    {
        m_follows.end();
        m_deadline.cancel();
    }
    // A sink or the server changed.
    void changed(SoundServer::Change change, std::uint32_t index);

private:
    void check();

    SoundServer& m_server;
    std::function<void()> m_moved;
    SoundServer::Clock::duration m_patience;
    std::function<void()> m_unanswered;
    LoopTimer m_deadline;
    // Answers come in order, so the latest question's answer is the last.
    Generation m_checks;
    // Under way while the watch follows a sink: an answer about an earlier one is no news.
    Generation m_follows;
    std::string m_sinkName;
    std::uint32_t m_sinkIndex = 0;
};
