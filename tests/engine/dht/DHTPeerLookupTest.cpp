#include "ScriptedNode.h"
#include "engine/dht/DHTPeerLookup.h"

#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::dhttest;

namespace {

const DHTIdentifier kTarget = idWithTop(0x5A, 0x5A);

DhtNodeAddress nodeAt(int i)
{
    return DhtNodeAddress{inet_addr("10.0.0.1"), quint16(1000 + i)};
}

}  // namespace

TEST(DHTPeerLookup, AsksAFewAtATimeClosestFirst)
{
    DHTPeerLookup lookup(kTarget, 1, 0);
    for (int i = 10; i >= 1; --i)
        lookup.addCandidate(nodeAt(i), atDistance(kTarget, quint32(i)));
    lookup.addCandidate(nodeAt(3), atDistance(kTarget, 99));  // same address: ignored
    const QList<DhtNodeAddress> first = lookup.nextQueries(0);
    EXPECT_EQ(first, (QList<DhtNodeAddress>{nodeAt(1), nodeAt(2), nodeAt(3), nodeAt(4)}));
    EXPECT_TRUE(lookup.nextQueries(10).isEmpty());
    lookup.handleReply(nodeAt(2), atDistance(kTarget, 2), {});
    EXPECT_EQ(lookup.nextQueries(20), QList<DhtNodeAddress>{nodeAt(5)});
    // The three unanswered first queries time out and make room; the one sent later is still out.
    EXPECT_EQ(lookup.nextQueries(DHTPeerLookup::kQueryTimeoutMs + 10),
              (QList<DhtNodeAddress>{nodeAt(6), nodeAt(7), nodeAt(8)}));
    EXPECT_EQ(lookup.queriesSent(), 8);
}

TEST(DHTPeerLookup, EndsWhenTheEightClosestHaveAnswered)
{
    DHTPeerLookup lookup(kTarget, 1, 0);
    for (int i = 1; i <= 8; ++i)
        lookup.addCandidate(nodeAt(i), atDistance(kTarget, quint32(100 + i)));
    qint64 now = 0;
    while (!lookup.isFinished(now) && now < 1000) {
        for (const DhtNodeAddress& asked : lookup.nextQueries(now)) {
            const int i = asked.port - 1000;
            QList<DHTNodeInfo> named;
            if (i <= 2)  // the first two name closer nodes, and farther ones
                named = {{atDistance(kTarget, quint32(10 + i)), nodeAt(20 + i)},
                         {atDistance(kTarget, quint32(500 + i)), nodeAt(40 + i)}};
            lookup.handleReply(asked, atDistance(kTarget, quint32(100 + i)), named);
        }
        ++now;
    }
    ASSERT_TRUE(lookup.isFinished(now));
    // 8 seeds and the 2 closer nodes; the farther ones lie beyond the 8th-closest answer.
    EXPECT_EQ(lookup.queriesSent(), 10);
}

TEST(DHTPeerLookup, EndsAfterItsLifetimeEvenWithQueriesOutstanding)
{
    DHTPeerLookup lookup(kTarget, 1, 1000);
    lookup.addCandidate(nodeAt(1));
    EXPECT_EQ(lookup.nextQueries(1000).size(), 1);
    EXPECT_FALSE(lookup.isFinished(2000));
    EXPECT_TRUE(lookup.isFinished(1000 + DHTPeerLookup::kLifetimeMs));
    EXPECT_TRUE(lookup.nextQueries(1000 + DHTPeerLookup::kLifetimeMs).isEmpty());
}
