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

// A peer whose host took the connection and closed it gets more attempts than one that never answered,
// their waits doubling up to three minutes.
TEST(PeerRedialsTest, APeerThatAnsweredIsRedialledLongerWithWaitsOfAtMostThreeMinutes)
{
    const struct
    {
        bool answered;
        int redials;
        qint64 lastWait;
    } cases[] = {{false, PeerRedials::kMaxRedials, 12'000}, {true, PeerRedials::kMaxRedialsOfLivePeer, 180'000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answered);
        PeerRedials redials;
        const PeerAddress peer = peerAt("10.0.0.1", 1);
        qint64 now = 0;
        int attempts = 0;
        qint64 wait = 0;
        while (attempts < 100 && redials.dialFailed(peer, Handshake::Encrypted, now, c.answered)) {
            ++attempts;
            const qint64 failedAt = now;
            for (int second = 0; second < 600 && !redials.takeDue(now); ++second)
                now += 1000;
            wait = now - failedAt;
        }
        EXPECT_EQ(attempts, c.redials);
        EXPECT_EQ(wait, c.lastWait);
    }
}
