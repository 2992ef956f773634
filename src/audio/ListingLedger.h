#pragma once

#include <cstdint>

// Which answers of the server's playback listings are still news. Listings are answered in the
// order they were asked for on a connection; those asked for before the watch last began (about
// another sink) are stale, and those of an earlier connection never answer on this one.
// Connections are told apart by a serial number: a new context often reuses the old one's
// address.
class ListingLedger {
public:
    // Watching begins (again) on the connection of that serial number.
    void begin(std::uint64_t connection);
    // A listing was asked for.
    void asked() { ++m_outstanding; }
    // A listing was answered in full; whether it is news rather than stale.
    bool answered();

private:
    std::uint64_t m_connection = 0;
    int m_outstanding = 0;
    int m_stale = 0;
};
