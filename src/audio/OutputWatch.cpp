#include "audio/OutputWatch.h"

void OutputWatch::follow(std::string sinkName, std::uint32_t sinkIndex)
{
    m_sinkName = std::move(sinkName);
    m_sinkIndex = sinkIndex;
    m_follows.begin();
    // The default may have changed while the capture was moving here, before it listened.
    check();
}

void OutputWatch::changed(SoundServer::Change change, std::uint32_t index)
{
    if (!m_follows.underWay())
        return;
    using Change = SoundServer::Change;
    const bool gone = change == Change::sinkRemoved && index == m_sinkIndex;
    const bool awaited = change == Change::sinkAdded && m_sinkIndex == noSink;
    if (gone || awaited) {
        m_follows.end();
        m_moved();
    } else if (change == Change::serverChanged) {
        // The server changes for other reasons too; only its default sink matters here.
        check();
    }
}

void OutputWatch::check()
{
    const auto check = m_checks.begin();
    const bool asked =
        !m_server.askDefaultSink([this, check, follow = m_follows.ticket()](
                                     std::optional<std::string> name, const SoundServer::Failure&) {
            if (m_checks.current(check))
                m_deadline.cancel();
            // A server naming no default names none yet: the next change will. An answer about an
            // earlier output is no news about this one.
            if (!m_follows.current(follow) || !name || name->empty())
                return;
            if (*name != m_sinkName) {
                m_follows.end();
                m_moved();
            }
        });
    // Left unanswered, the capture would stay on an output that may no longer be the default,
    // for good.
    if (asked)
        m_deadline.arm(m_patience, [this] {
            m_follows.end();
            m_unanswered();
        });
}
