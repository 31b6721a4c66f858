#include "NetTestSupport.h"

#include <gtest/gtest.h>
#include <sys/epoll.h>

namespace ombrelay {
namespace {

using namespace test;

// Takes one readiness report, then removes the other registration (as a peer torn down by another
// peer's message would be).
class RemovingHandler : public SocketReactor::Handler
{
public:
    void socketEvents(quint32 events) override
    {
        ++reports;
        lastEvents = events;
        if (other && *other)
            SocketReactor::instance().remove(*other);
    }
    quint64* other = nullptr;
    int reports = 0;
    quint32 lastEvents = 0;
};

TEST(SocketReactorTest, ASocketRemovedDuringABatchGetsNothingMoreFromIt)
{
    SocketReactor& reactor = SocketReactor::instance();
    auto [engine1, remote1] = loopbackPair();
    auto [engine2, remote2] = loopbackPair();
    RemovingHandler first;
    RemovingHandler second;
    quint64 token1 = reactor.add(engine1, &first, true, false);
    quint64 token2 = reactor.add(engine2, &second, true, false);
    ASSERT_NE(token1, 0u);
    ASSERT_NE(token2, 0u);
    first.other = &token2;
    second.other = &token1;
    ASSERT_EQ(::send(remote1, "x", 1, 0), 1);
    ASSERT_EQ(::send(remote2, "y", 1, 0), 1);
    ASSERT_TRUE(waitReadable(engine1));
    ASSERT_TRUE(waitReadable(engine2));

    EXPECT_EQ(reactor.processEvents(), 1);
    EXPECT_EQ(first.reports + second.reports, 1) << "both were ready; the one removed got nothing";
    EXPECT_TRUE((first.reports ? first.lastEvents : second.lastEvents) & EPOLLIN);
    // Level-triggered: the survivor is reported again until it reads, the removed one never.
    const int survivorReports = first.reports + second.reports;
    first.other = second.other = nullptr;
    EXPECT_EQ(reactor.processEvents(), 1);
    EXPECT_EQ(first.reports + second.reports, survivorReports + 1);
    EXPECT_TRUE(first.reports == 0 || second.reports == 0);

    reactor.remove(token1);
    reactor.remove(token2);
    EXPECT_EQ(reactor.processEvents(), 0);
    for (int fd : {engine1, remote1, engine2, remote2})
        ::close(fd);
}

}  // namespace
}  // namespace ombrelay
