#include "audio/OutputWatch.h"

void OutputWatch::follow(std::string sinkName, std::uint32_t sinkIndex)
{
    m_sinkName = std::move(sinkName);
    m_sinkIndex = sinkIndex;
    m_following = true;
    ++m_follows;
    // The default may have changed while the capture was moving here, before it listened.
    check();
}

void OutputWatch::changed(SoundServer::Change change, std::uint32_t index)
{
    if (!m_following)
        return;
    using Change = SoundServer::Change;
    const bool gone = change == Change::sinkRemoved && index == m_sinkIndex;
    const bool awaited = change == Change::sinkAdded && m_sinkIndex == noSink;
    if (gone || awaited) {
        m_following = false;
        m_moved();
    } else if (change == Change::serverChanged) {
        // The server changes for other reasons too; only its default sink matters here.
        check();
    }
}

void OutputWatch::check()
{
    const std::uint64_t check = ++m_checks;
    const bool asked = m_server.askDefaultSink(
        [this, check, follows = m_follows](std::optional<std::string> name, int) {
            if (check == m_checks)
                m_deadline.cancel();
            // A server naming no default names none yet: the next change will. An answer about an
            // earlier output is no news about this one.
            if (!m_following || follows != m_follows || !name || name->empty())
                return;
            if (*name != m_sinkName) {
                m_following = false;
                m_moved();
            }
        });
    // Left unanswered, the capture would stay on an output that may no longer be the default,
    // for good.
    if (asked)
        m_deadline.arm(m_patience, [this] {
            m_following = false;
            m_unanswered();
        });
}
