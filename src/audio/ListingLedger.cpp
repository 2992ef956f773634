#include "audio/ListingLedger.h"

void ListingLedger::begin(std::uint64_t connection)
{
    if (connection != m_connection)
        m_outstanding = 0;
    m_connection = connection;
    m_stale = m_outstanding;
}

bool ListingLedger::answered()
{
    if (m_outstanding > 0)
        --m_outstanding;
    if (m_stale == 0)
        return true;
    --m_stale;
    return false;
}
