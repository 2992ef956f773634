#include "audio/ListingLedger.h"

#include <gtest/gtest.h>

// Answers come in the order asked for: those asked before the watch began again are stale, and
// those of a lost connection never come, so its count must not reach the next connection's.
TEST(ListingLedgerTest, OnlyAnswersAskedForSinceTheWatchBeganAreNews)
{
    ListingLedger ledger;
    ledger.begin(1);
    ledger.asked();
    ledger.asked();
    EXPECT_TRUE(ledger.answered());
    ledger.begin(1); // another sink, same connection: the one still out is about the last sink
    ledger.asked();
    EXPECT_FALSE(ledger.answered());
    EXPECT_TRUE(ledger.answered());
    ledger.asked(); // unanswered when the server goes
    ledger.begin(2);
    ledger.asked();
    EXPECT_TRUE(ledger.answered()) << "the lost connection's listing was counted against this one";
}
