#pragma once

#include <cstdint>

// Tells an answer of the current connection, lookup, watch or run from a late one. Whatever is
// asked for or posted carries the ticket of the generation it belongs to; once another has begun,
// or this one has ended, that ticket is no longer current and what carries it is late. Tickets are
// never reused, so a late answer cannot pass for a new generation's even when what it concerns (a
// context, a sink) comes back at the same address or index.
class Generation {
public:
    using Ticket = std::uint64_t;
    // The ticket of no generation: current exactly while none is under way.
    static constexpr Ticket none = 0;

    // A new generation begins: every earlier ticket is late from now on.
    Ticket begin() { return m_current = ++m_last; }
    // The generation under way ends: every ticket handed out is late until the next begin().
    void end() noexcept { m_current = none; }
    bool underWay() const { return m_current != none; }
    Ticket ticket() const { return m_current; }
    bool current(Ticket ticket) const { return ticket == m_current; }

private:
    Ticket m_last = none;
    Ticket m_current = none;
};
