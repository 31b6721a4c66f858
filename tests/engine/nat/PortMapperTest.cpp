#include "engine/nat/PortMapper.h"
#include "engine/nat/FakePortMapping.h"
#include "engine/nat/PortMappingError.h"
#include "kit/NotificationCenter.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

constexpr int kWaitMs = 5000;

PortMapping granted(const char* address, quint16 port, quint32 lifetime = 3600)
{
    return PortMapping{PortMappingError::NoError, ipv4(address), port, lifetime, {}};
}

PortMapping failed(qint32 error)
{
    return PortMapping{error, 0, 0, 0, {}};
}

class PortMapperTest : public ::testing::Test
{
protected:
    PortMapper::Parts parts(std::vector<std::shared_ptr<PortMappingBackend>> backends)
    {
        return PortMapper::Parts{std::move(backends),
                                 [this] {
                                     auto made = std::make_unique<FakeTimer>();
                                     timer = made.get();
                                     return made;
                                 },
                                 [this] { return localAddress; }};
    }

    // A mapper of port 6881 for TCP and UDP, asking for the same public port, as the engine makes it.
    std::unique_ptr<PortMapper> engineMapper(std::shared_ptr<PortMappingBackend> backend)
    {
        return engineMapper(std::vector<std::shared_ptr<PortMappingBackend>>{std::move(backend)});
    }
    std::unique_ptr<PortMapper> engineMapper(std::vector<std::shared_ptr<PortMappingBackend>> backends)
    {
        auto mapper = std::make_unique<PortMapper>(6881, parts(std::move(backends)));
        mapper->setMapTCP(true);
        mapper->setMapUDP(true);
        mapper->setDesiredPublicPort(6881);
        listenForNotification(
            &observer, QStringLiteral("PortMapperChanged"), [this](const Notification&) { ++reports; },
            mapper.get());
        return mapper;
    }

    bool waitForReports(int count)
    {
        return QTest::qWaitFor([&] { return reports >= count; }, kWaitMs);
    }

    QObject observer;
    FakeTimer* timer = nullptr;
    quint32 localAddress = ipv4("192.168.1.10");
    int reports = 0;
};

TEST_F(PortMapperTest, GrantedMappingIsReportedWithItsPublicAddressAndPort)
{
    auto gateway = std::make_shared<FakeBackend>(granted("11.0.0.1", 6881));
    auto mapper = engineMapper(gateway);

    ASSERT_TRUE(mapper->open());
    ASSERT_TRUE(waitForReports(1));

    EXPECT_EQ(mapper->error(), PortMappingError::NoError);
    EXPECT_EQ(mapper->publicAddress(), QStringLiteral("11.0.0.1"));
    EXPECT_EQ(mapper->rawPublicAddress(), ipv4("11.0.0.1"));
    EXPECT_EQ(mapper->publicPort(), 6881);
    EXPECT_TRUE(mapper->isMapped());
    ASSERT_EQ(gateway->mapRequests().size(), 1);
    const PortMappingRequest asked = gateway->mapRequests().first();
    EXPECT_EQ(asked.privatePort, 6881);
    EXPECT_EQ(asked.desiredPublicPort, 6881);
    EXPECT_TRUE(asked.tcp);
    EXPECT_TRUE(asked.udp);
    EXPECT_EQ(asked.lifetimeSeconds, PortMapper::kRequestedLifetimeSeconds);
}

struct ReportCase
{
    const char* name;
    quint16 desiredPort;
    PortMapping answer;
    qint32 error;
    bool mapped;
    const char* local = "192.168.1.10";
};

TEST_F(PortMapperTest, AnswersBecomeErrorsAndMappedState)
{
    const ReportCase cases[] = {
        {"port given", 6881, granted("11.0.0.1", 6881), PortMappingError::NoError, true},
        {"other port given", 6881, granted("11.0.0.1", 40000), PortMappingError::NoError, true},
        {"desired port came back 0", 6881, granted("11.0.0.1", 0), PortMappingError::Unsupported, false},
        {"no port, none desired", 0, granted("11.0.0.1", 0), PortMappingError::NoError, false},
        {"refused", 6881, failed(PortMappingError::Disabled), PortMappingError::Disabled, false},
        {"no gateway", 6881, failed(PortMappingError::NoRouter), PortMappingError::NoRouter, false},
        {"unknown", 6881, failed(PortMappingError::Unknown), PortMappingError::Unknown, false},
        {"carrier-grade NAT address", 6881, granted("100.64.0.1", 6881), PortMappingError::NoError, false},
        {"private address", 6881, granted("10.1.2.3", 6881), PortMappingError::NoError, false},
        // A host on a public address, no NAT in between.
        {"public address is the local one", 6881, granted("11.0.0.1", 6881), PortMappingError::NoError, false,
         "11.0.0.1"},
    };
    for (const ReportCase& c : cases) {
        SCOPED_TRACE(c.name);
        reports = 0;
        localAddress = ipv4(c.local);
        auto mapper = engineMapper(std::make_shared<FakeBackend>(c.answer));
        mapper->setDesiredPublicPort(c.desiredPort);
        ASSERT_TRUE(mapper->open());
        ASSERT_TRUE(waitForReports(1));
        EXPECT_EQ(mapper->error(), c.error);
        EXPECT_EQ(mapper->isMapped(), c.mapped);
        EXPECT_EQ(mapper->publicPort(), c.answer.publicPort);
    }
}

TEST_F(PortMapperTest, RenewsAtHalfTheGrantedLifetimeAskingForThePortItHolds)
{
    auto gateway = std::make_shared<FakeBackend>(granted("11.0.0.1", 40000, 7200));
    auto mapper = engineMapper(gateway);
    ASSERT_TRUE(mapper->open());
    ASSERT_TRUE(waitForReports(1));

    ASSERT_TRUE(timer->active);
    EXPECT_EQ(timer->delay, 3600 * 1000);
    timer->fire();  // the same mapping again: reported all the same
    ASSERT_TRUE(waitForReports(2));
    EXPECT_EQ(reports, 2);
    ASSERT_EQ(gateway->mapRequests().size(), 2);
    EXPECT_EQ(gateway->mapRequests().at(1).desiredPublicPort, 40000);
    EXPECT_EQ(mapper->publicPort(), 40000);
    EXPECT_TRUE(mapper->isMapped());
}

TEST_F(PortMapperTest, RenewalDelayStaysWithinBoundsForOddLifetimes)
{
    const struct
    {
        quint32 lifetime;
        int delayMs;
    } cases[] = {{0, 60'000}, {1, 60'000}, {120, 60'000}, {3600, 1'800'000}, {UINT32_MAX, 12 * 3'600'000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lifetime);
        reports = 0;
        auto mapper = engineMapper(std::make_shared<FakeBackend>(granted("11.0.0.1", 6881, c.lifetime)));
        ASSERT_TRUE(mapper->open());
        ASSERT_TRUE(waitForReports(1));
        EXPECT_EQ(timer->delay, c.delayMs);
    }
}

TEST_F(PortMapperTest, AFailureIsTriedAgainLater)
{
    auto gateway = std::make_shared<FakeBackend>(granted("11.0.0.1", 6881));
    gateway->queueAnswer(failed(PortMappingError::NoRouter));
    auto mapper = engineMapper(gateway);
    ASSERT_TRUE(mapper->open());
    ASSERT_TRUE(waitForReports(1));
    EXPECT_EQ(mapper->error(), PortMappingError::NoRouter);
    EXPECT_EQ(timer->delay, PortMapper::kRetryAfterFailureMs);

    timer->fire();
    ASSERT_TRUE(waitForReports(2));
    EXPECT_EQ(mapper->error(), PortMappingError::NoError);
    EXPECT_TRUE(mapper->isMapped());
}

TEST_F(PortMapperTest, AFailedRenewalClearsTheMappingAndKeepsItForRemoval)
{
    auto gateway = std::make_shared<FakeBackend>(failed(PortMappingError::Unknown));
    gateway->queueAnswer(granted("11.0.0.1", 6881));
    auto mapper = engineMapper(gateway);
    ASSERT_TRUE(mapper->open());
    ASSERT_TRUE(waitForReports(1));
    timer->fire();
    ASSERT_TRUE(waitForReports(2));
    EXPECT_EQ(mapper->error(), PortMappingError::Unknown);
    EXPECT_FALSE(mapper->isMapped());
    EXPECT_EQ(mapper->publicPort(), 0);

    mapper->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return gateway->unmaps().size() == 1; }, kWaitMs));
    EXPECT_EQ(gateway->unmaps().first().second.publicPort, 6881);
}

TEST_F(PortMapperTest, NoAnswerWithinTheTimeOutIsReportedAndALateAnswerStillCounts)
{
    auto gateway = std::make_shared<FakeBackend>(granted("11.0.0.1", 6881));
    gateway->holdAnswers();
    auto mapper = engineMapper(gateway);
    ASSERT_TRUE(mapper->open());

    ASSERT_TRUE(timer->active);
    EXPECT_EQ(timer->delay, PortMapper::kAnswerTimeoutMs);
    EXPECT_EQ(reports, 0);
    timer->fire();
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(mapper->error(), PortMappingError::Timeout);
    EXPECT_FALSE(mapper->isMapped());
    EXPECT_EQ(timer->delay, PortMapper::kRetryAfterFailureMs);

    gateway->releaseAnswer();
    ASSERT_TRUE(waitForReports(2));
    EXPECT_EQ(mapper->error(), PortMappingError::NoError);
    EXPECT_TRUE(mapper->isMapped());
    EXPECT_EQ(timer->delay, 1800 * 1000);
}

TEST_F(PortMapperTest, BackEndsAreAskedInOrderAndTheGrantingOneRenews)
{
    auto natPmp = std::make_shared<FakeBackend>(failed(PortMappingError::Unsupported));
    auto upnp = std::make_shared<FakeBackend>(granted("11.0.0.1", 6881));
    auto mapper = engineMapper({natPmp, upnp});
    ASSERT_TRUE(mapper->open());
    ASSERT_TRUE(waitForReports(1));
    EXPECT_TRUE(mapper->isMapped());
    EXPECT_EQ(natPmp->mapRequests().size(), 1);
    EXPECT_EQ(upnp->mapRequests().size(), 1);

    timer->fire();
    ASSERT_TRUE(waitForReports(2));
    EXPECT_EQ(natPmp->mapRequests().size(), 1); // not asked again: the granting one answered first
    EXPECT_EQ(upnp->mapRequests().size(), 2);

    mapper->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return upnp->unmaps().size() == 1; }, kWaitMs));
    EXPECT_TRUE(natPmp->unmaps().isEmpty());
}

TEST_F(PortMapperTest, WhenAllBackEndsFailTheGatewayThatAnsweredIsReported)
{
    const struct
    {
        qint32 first;
        qint32 second;
        qint32 reported;
    } cases[] = {
        {PortMappingError::NoRouter, PortMappingError::NoRouter, PortMappingError::NoRouter},
        {PortMappingError::Unsupported, PortMappingError::NoRouter, PortMappingError::Unsupported},
        {PortMappingError::NoRouter, PortMappingError::Disabled, PortMappingError::Disabled},
        {PortMappingError::Unknown, PortMappingError::Disabled, PortMappingError::Unknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.first << " then " << c.second);
        reports = 0;
        auto mapper = engineMapper({std::make_shared<FakeBackend>(failed(c.first)),
                                    std::make_shared<FakeBackend>(failed(c.second))});
        ASSERT_TRUE(mapper->open());
        ASSERT_TRUE(waitForReports(1));
        EXPECT_EQ(mapper->error(), c.reported);
    }
}

TEST_F(PortMapperTest, CloseRemovesTheGrantedMappingAndClearsTheState)
{
    auto gateway = std::make_shared<FakeBackend>(granted("11.0.0.1", 6881));
    auto mapper = engineMapper(gateway);
    ASSERT_TRUE(mapper->open());
    ASSERT_TRUE(waitForReports(1));

    mapper->close();
    EXPECT_FALSE(mapper->isOpen());
    EXPECT_FALSE(timer->active);
    EXPECT_EQ(mapper->error(), PortMappingError::NoError);
    EXPECT_TRUE(mapper->publicAddress().isNull());
    EXPECT_EQ(mapper->publicPort(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return gateway->unmaps().size() == 1; }, kWaitMs));
    const auto [request, removed] = gateway->unmaps().first();
    EXPECT_EQ(request.privatePort, 6881);
    EXPECT_TRUE(request.tcp && request.udp);
    EXPECT_EQ(removed.publicPort, 6881);

    ASSERT_TRUE(mapper->open()); // may open again once closed
    ASSERT_TRUE(waitForReports(2));
    EXPECT_TRUE(mapper->isMapped());
    mapper.reset(); // destruction removes it as well
    ASSERT_TRUE(QTest::qWaitFor([&] { return gateway->unmaps().size() == 2; }, kWaitMs));
}

TEST_F(PortMapperTest, AMappingGrantedAfterCloseIsRemovedAndNotReported)
{
    const struct
    {
        const char* name;
        bool destroy;
    } cases[] = {{"closed", false}, {"destroyed", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        reports = 0;
        auto gateway = std::make_shared<FakeBackend>(granted("11.0.0.1", 6881));
        gateway->holdAnswers();
        auto mapper = engineMapper(gateway);
        ASSERT_TRUE(mapper->open());
        if (c.destroy)
            mapper.reset();
        else
            mapper->close();
        gateway->releaseAnswer();
        ASSERT_TRUE(QTest::qWaitFor([&] { return gateway->unmaps().size() == 1; }, kWaitMs));
        QTest::qWait(50);
        EXPECT_EQ(reports, 0);
    }
}

TEST_F(PortMapperTest, OpeningTwiceIsRefused)
{
    auto mapper = engineMapper(std::make_shared<FakeBackend>(granted("11.0.0.1", 6881)));
    ASSERT_TRUE(mapper->open());
    EXPECT_FALSE(mapper->open());
    ASSERT_TRUE(waitForReports(1));
    EXPECT_EQ(reports, 1);
}

TEST_F(PortMapperTest, WithoutBackEndsOpeningFailsWithAnUnknownError)
{
    auto mapper = engineMapper(std::vector<std::shared_ptr<PortMappingBackend>>{});
    EXPECT_FALSE(mapper->open());
    EXPECT_EQ(mapper->error(), PortMappingError::Unknown);
}

TEST_F(PortMapperTest, FindPublicAddressAsksForTheAddressAlone)
{
    const struct
    {
        const char* name;
        PortMapping answer;
        QString found;
    } cases[] = {
        {"answered", granted("11.0.0.1", 0, 0), QStringLiteral("11.0.0.1")},
        {"failed", failed(PortMappingError::NoRouter), QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto gateway = std::make_shared<FakeBackend>(c.answer);
        QObject context;
        std::optional<QString> found;
        PortMapper::findPublicAddress(&context, parts({gateway}),
                                      [&](const QString& address) { found = address; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return found.has_value(); }, kWaitMs));
        EXPECT_EQ(*found, c.found);
        EXPECT_EQ(found->isNull(), c.found.isNull());
        ASSERT_EQ(gateway->mapRequests().size(), 1);
        EXPECT_FALSE(gateway->mapRequests().first().tcp);
        EXPECT_FALSE(gateway->mapRequests().first().udp);
    }
}

TEST(PortMapperAddresses, PrivateRanges)
{
    const struct
    {
        const char* address;
        bool isPrivate;
    } cases[] = {
        {"192.168.1.10", true},    {"172.31.255.255", true},  {"172.32.0.1", false},
        {"172.15.255.255", false}, {"172.16.0.0", true},      {"100.64.0.1", true},
        {"100.127.255.254", true}, {"100.63.255.255", false}, {"100.128.0.0", false},
        {"10.0.0.1", true},        {"127.0.0.1", true},       {"169.254.3.4", true},
        {"169.255.0.1", false},    {"0.1.2.3", true},         {"11.0.0.1", false},
        {"192.169.0.1", false},    {"8.8.8.8", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PortMapper::isPrivateAddress(ipv4(c.address)), c.isPrivate) << c.address;
}

TEST(PortMapperAddresses, LocalAddressIsAnUpNonLoopbackInterface)
{
    const quint32 local = PortMapper::rawLocalAddress();
    if (local == 0)
        GTEST_SKIP() << "this machine has no IPv4 interface besides loopback";
    EXPECT_NE(ntohl(local) >> 24, 127u);
    EXPECT_EQ(PortMapper::localAddress(), stringFromIPv4Addr(local));
    EXPECT_EQ(PortMapper::localAddressIsPrivate(), PortMapper::isPrivateAddress(local));
}

} // namespace
