#include "PeerTestSupport.h"

#include "engine/peers/PeerRedials.h"

#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;
using Handshake = PeerLink::Handshake;

TEST(PeerRedialsTest, TheEarliestDueComesFirstAndForgettingStartsTheCountOver)
{
    PeerRedials redials;
    const PeerAddress a = peerAt("10.0.0.1", 1), b = peerAt("10.0.0.2", 1), c = peerAt("10.0.0.3", 1);
    ASSERT_TRUE(redials.dialFailed(a, Handshake::Plain, 2'000));
    ASSERT_TRUE(redials.dialFailed(b, Handshake::Encrypted, 1'000));
    ASSERT_TRUE(redials.dialFailed(c, Handshake::Encrypted, 9'000));
    const qint64 at = 2'000 + PeerRedials::kFirstDelayMs;
    EXPECT_EQ(redials.takeDue(at)->peer, b);
    const std::optional<PeerRedials::Redial> second = redials.takeDue(at);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->peer, a);
    EXPECT_EQ(second->handshake, Handshake::Encrypted);
    EXPECT_FALSE(redials.takeDue(at)) << "c is not due yet";
    EXPECT_TRUE(redials.isWaiting(c));

    // a fails again (its second failure), then gets through: its next failure waits the first delay again.
    ASSERT_TRUE(redials.dialFailed(a, Handshake::Encrypted, at));
    EXPECT_FALSE(redials.hasDue(at + PeerRedials::kFirstDelayMs));
    redials.forget(a);
    ASSERT_TRUE(redials.dialFailed(a, Handshake::Encrypted, at));
    EXPECT_EQ(redials.takeDue(at + PeerRedials::kFirstDelayMs)->peer, a);
    redials.clear();
    EXPECT_FALSE(redials.isWaiting(c));
    EXPECT_FALSE(redials.hasDue(at + 3'600'000));
}
