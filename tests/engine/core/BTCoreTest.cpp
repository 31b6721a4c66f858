#include "engine/core/BTCore.h"
#include "engine/core/PeerService.h"
#include "engine/nat/PortMapper.h"
#include "engine/net/BandwidthProvision.h"
#include "kit/NotificationCenter.h"
#include "kit/Settings.h"
#include "platform/IdleTime.h"
#include "platform/SleepWatcher.h"
#include "support/LoopbackPorts.h"
#include "support/PrivateNetwork.h"

#include <QTemporaryDir>
#include <QTest>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <optional>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ombrelay {
namespace {
using test::boundSocket;
using test::localPort;
using test::portFree;

const quint32 kLoopback = htonl(INADDR_LOOPBACK);
// Where the test has a network of its own, the ports from this one on are free.
constexpr quint16 kPrivatePort = 6881;

class FakeIdleTime : public IdleTime
{
public:
    void querySecondsSinceInput(QObject*, std::function<void(qint64)> done) override
    {
        ++queries;
        done(seconds);
    }
    qint64 seconds = 0;
    int queries = 0;
};

class BTCoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        settings = std::make_unique<Settings>(folder.filePath(QStringLiteral("Ombrelay.conf")));
        settings->setBool(QStringLiteral("kRandomPort"), false);
    }
    // The engine listens on "kBTPort" from then on, not on any free port.
    void configurePort(quint16 configured)
    {
        settings->setInteger(QStringLiteral("kBTPort"), configured);
        anyPort = false;
    }
    // Moves the test into a network of its own and configures kPrivatePort; false where that cannot be done.
    bool configurePrivatePort()
    {
        network.emplace();
        port = kPrivatePort;
        configurePort(port);
        return network->entered();
    }
    void TearDown() override
    {
        core.reset();
        for (BandwidthProvision* p : {&BandwidthProvision::globalDownloadProvision(),
                                      &BandwidthProvision::globalUploadProvision()}) {
            p->setIsEnabled(false);
            p->bandwidthProvisionUpdate();
        }
    }

    BTCore& makeCore()
    {
        BTCore::Parts parts;
        parts.settings = settings.get();
        parts.idleTime = &idle;
        parts.sleepWatcher = &sleepWatcher;
        parts.clock = [this] { return now; };
        parts.bindAddress = kLoopback;
        parts.listenOnAnyPort = anyPort;
        parts.makePortMapper = [this](quint16 mapped) {
            mappedPorts.push_back(mapped);
            return std::unique_ptr<PortMapper>();
        };
        parts.startTimers = false;
        core = std::make_unique<BTCore>(parts);
        return *core;
    }

    QTemporaryDir folder;
    std::unique_ptr<Settings> settings;
    FakeIdleTime idle;
    SleepWatcher sleepWatcher;
    QDateTime now = QDateTime(QDate(2026, 12, 6), QTime(12, 0), Qt::LocalTime);
    std::vector<quint16> mappedPorts;
    std::optional<test::PrivateNetwork> network;
    bool anyPort = true;
    quint16 port = 0;
    std::unique_ptr<BTCore> core;
};

TEST_F(BTCoreTest, DailyWindowLiftsTheGlobalLimitsStrictlyInside)
{
    struct Case
    {
        QTime start;
        QTime end;
        QTime at;
        bool lifted;
    };
    const Case cases[] = {
        {QTime(23, 0), QTime(7, 0), QTime(23, 30), true},
        {QTime(23, 0), QTime(7, 0), QTime(6, 59), true},
        {QTime(23, 0), QTime(7, 0), QTime(7, 0), false},
        {QTime(23, 0), QTime(7, 0), QTime(12, 0), false},
        {QTime(9, 0), QTime(17, 0), QTime(12, 0), true},
        {QTime(9, 0), QTime(17, 0), QTime(9, 0), false},
        {QTime(9, 0), QTime(17, 0), QTime(17, 0), false},
        {QTime(9, 0), QTime(9, 0), QTime(9, 0, 30), false},  // start equal to end never lifts
    };
    settings->setBool(QStringLiteral("kDisableLimits"), true);
    settings->setBool(QStringLiteral("kUploadLimitEnabled"), true);
    settings->setInteger(QStringLiteral("kUploadLimit"), 50);
    settings->setBool(QStringLiteral("kDownloadLimitEnabled"), true);
    settings->setInteger(QStringLiteral("kDownloadLimit"), 20);
    BTCore& engine = makeCore();
    for (const Case& c : cases) {
        SCOPED_TRACE(qPrintable(c.start.toString() + " - " + c.end.toString() + " at " + c.at.toString()));
        settings->setTimeOfDay(QStringLiteral("kDisableStartTime"), c.start);
        settings->setTimeOfDay(QStringLiteral("kDisableEndTime"), c.end);
        now = QDateTime(QDate(2026, 12, 6), c.at, Qt::LocalTime);
        engine.updateLimits();
        EXPECT_EQ(engine.limitsLifted(), c.lifted);
        EXPECT_EQ(BandwidthProvision::globalUploadProvision().isEnabled(), !c.lifted);
        EXPECT_EQ(BandwidthProvision::globalDownloadProvision().isEnabled(), !c.lifted);
        EXPECT_EQ(BandwidthProvision::globalUploadProvision().bytesPerSecond(), 50000);
        EXPECT_EQ(BandwidthProvision::globalDownloadProvision().bytesPerSecond(), 20000);
    }
    settings->setBool(QStringLiteral("kDisableLimits"), false);
    now = QDateTime(QDate(2026, 12, 6), QTime(12, 0), Qt::LocalTime);
    engine.updateLimits();
    EXPECT_FALSE(engine.limitsLifted());
}

TEST_F(BTCoreTest, LimitsHoldFromTheStartAndAChangeAppliesAtOnce)
{
    settings->setBool(QStringLiteral("kDownloadLimitEnabled"), true);
    settings->setInteger(QStringLiteral("kDownloadLimit"), 250);
    settings->setBool(QStringLiteral("kUploadLimitEnabled"), false);
    makeCore();
    EXPECT_TRUE(BandwidthProvision::globalDownloadProvision().isEnabled());
    EXPECT_EQ(BandwidthProvision::globalDownloadProvision().bytesPerSecond(), 250000);
    EXPECT_FALSE(BandwidthProvision::globalUploadProvision().isEnabled());

    settings->setBool(QStringLiteral("kUploadLimitEnabled"), true);
    settings->setInteger(QStringLiteral("kUploadLimit"), 50);
    EXPECT_TRUE(BandwidthProvision::globalUploadProvision().isEnabled());
    EXPECT_EQ(BandwidthProvision::globalUploadProvision().bytesPerSecond(), 50000);
}

TEST_F(BTCoreTest, IdleTimeLiftsTheLimitsAfterMoreThanTheSetMinutes)
{
    settings->setBool(QStringLiteral("kUploadLimitEnabled"), true);
    settings->setInteger(QStringLiteral("kDisableIdleTime"), 10);
    BTCore& engine = makeCore();
    const struct
    {
        bool enabled;
        qint64 idleSeconds;
        bool lifted;
    } cases[] = {{true, 600, false}, {true, 601, true}, {true, 0, false}, {false, 5000, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.idleSeconds);
        settings->setBool(QStringLiteral("kDisableLimitsIdle"), c.enabled);
        idle.seconds = c.idleSeconds;
        engine.updateLimits();
        EXPECT_EQ(engine.limitsLifted(), c.lifted);
        EXPECT_EQ(BandwidthProvision::globalUploadProvision().isEnabled(), !c.lifted);
    }
}

TEST_F(BTCoreTest, AnyPortBindsBothSocketsOnTheNumberTheSystemPickedAndIgnoresThePortSetting)
{
    settings->setInteger(QStringLiteral("kBTPort"), 7000);
    BTCore& engine = makeCore();
    ASSERT_TRUE(engine.isListening());
    const quint16 bound = engine.privatePort();
    EXPECT_NE(bound, 0);
    EXPECT_EQ(engine.configuredPort(), 0);
    EXPECT_EQ(localPort(engine.udpSocket()), bound);
    ASSERT_FALSE(mappedPorts.empty());
    EXPECT_EQ(mappedPorts.back(), bound);
    settings->setInteger(QStringLiteral("kBTPort"), 7001);
    EXPECT_EQ(engine.privatePort(), bound) << "no rebinding";
    EXPECT_EQ(settings->integer(QStringLiteral("kBTPort")), 7001) << "the user's value stays";
}

TEST_F(BTCoreTest, TakenPortMovesBothSocketsToTheNextFreePort)
{
    if (!configurePrivatePort())
        GTEST_SKIP() << "a network namespace of its own needs CAP_SYS_ADMIN";
    for (int type : {SOCK_STREAM, SOCK_DGRAM}) {
        SCOPED_TRACE(type == SOCK_STREAM ? "TCP taken" : "UDP taken");
        const int blocker = boundSocket(type, port);
        ASSERT_GE(blocker, 0);
        BTCore& engine = makeCore();
        ASSERT_TRUE(engine.isListening());
        EXPECT_EQ(engine.privatePort(), port + 1);
        EXPECT_EQ(engine.publicPort(), port + 1);
        EXPECT_EQ(localPort(engine.udpSocket()), port + 1);
        EXPECT_EQ(settings->integer(QStringLiteral("kBTPort")), port) << "the user's value stays";
        ASSERT_FALSE(mappedPorts.empty());
        EXPECT_EQ(mappedPorts.back(), port + 1);
        core.reset();
        ::close(blocker);
    }
}

TEST_F(BTCoreTest, PortSearchStopsAt65535)
{
    // In a network of its own where one can be had: another program holding the port (this test run
    // alongside) could let it go just before the core binds.
    network.emplace();
    const int blocker = boundSocket(SOCK_STREAM, 65535);
    const int udpBlocker = boundSocket(SOCK_DGRAM, 65535);
    if (blocker < 0 && udpBlocker < 0 && portFree(65535))
        GTEST_SKIP() << "port 65535 could not be taken";
    configurePort(65535);
    BTCore& engine = makeCore();
    EXPECT_FALSE(engine.isListening());
    EXPECT_EQ(engine.udpSocket(), -1);
    EXPECT_EQ(engine.privatePort(), 65535);
    EXPECT_TRUE(mappedPorts.empty());
    for (int fd : {blocker, udpBlocker})
        if (fd >= 0)
            ::close(fd);
}

TEST_F(BTCoreTest, PortSettingRebindsAndRandomPortStaysInRange)
{
    if (!configurePrivatePort())
        GTEST_SKIP() << "a network namespace of its own needs CAP_SYS_ADMIN";
    BTCore& engine = makeCore();
    EXPECT_EQ(engine.privatePort(), port);
    settings->setInteger(QStringLiteral("kBTPort"), port + 1);
    EXPECT_EQ(engine.privatePort(), port + 1);
    EXPECT_EQ(localPort(engine.udpSocket()), port + 1);
    EXPECT_TRUE(portFree(port)) << "the old pair is released";

    settings->setBool(QStringLiteral("kRandomPort"), true);
    const quint16 random = engine.randomPort();
    EXPECT_EQ(engine.configuredPort(), random);
    EXPECT_EQ(engine.configuredPort(), random) << "stable until redrawn";
    for (int i = 0; i < 2000; ++i) {
        engine.updateRandomPort();
        EXPECT_GE(engine.randomPort(), 1025);
        EXPECT_LE(engine.randomPort(), 65534);
    }
}

TEST_F(BTCoreTest, AcceptedConnectionsGoToTheHandlerAndRefusedOnesAreClosed)
{
    BTCore& engine = makeCore();
    std::vector<int> taken;
    bool accept = true;
    BTCore::Hooks hooks;
    hooks.acceptIncomingPeer = [&](int fd, quint32 address, quint16) {
        EXPECT_EQ(address, kLoopback);
        if (accept)
            taken.push_back(fd);
        return accept;
    };
    engine.setHooks(std::move(hooks));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = kLoopback;
    a.sin_port = htons(engine.privatePort());

    const int first = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::connect(first, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    QTRY_COMPARE_WITH_TIMEOUT(taken.size(), size_t(1), 2000);

    accept = false;
    const int second = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::connect(second, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    char byte;
    ssize_t got = -1;
    for (int i = 0; i < 200 && got != 0; ++i) {
        QCoreApplication::processEvents();
        got = ::recv(second, &byte, 1, MSG_DONTWAIT);
        if (got != 0)
            QTest::qWait(10);
    }
    EXPECT_EQ(got, 0) << "a refused connection is closed";
    EXPECT_EQ(taken.size(), size_t(1));
    for (int fd : taken)
        ::close(fd);
    ::close(first);
    ::close(second);
}

TEST_F(BTCoreTest, OneSecondWorkRunsOnEveryTenthTickBeforeTheRefill)
{
    BTCore& engine = makeCore();
    BandwidthProvision budget;
    budget.setCustomLimit(10);  // 1000 bytes a tick
    std::vector<qint32> seenAtOneSecond;
    int notices = 0;
    QObject observer;
    listenForNotification(&observer, QStringLiteral("CoreOneSecondTimer"), [&](const Notification& n) {
        EXPECT_EQ(n.object, &engine);
        ++notices;
    });
    BTCore::Hooks hooks;
    hooks.oneSecondWork = [&] { seenAtOneSecond.push_back(budget.bytesAvailableForConsumption()); };
    engine.setHooks(std::move(hooks));
    for (int tick = 1; tick <= 20; ++tick) {
        budget.consumedBytes(1000);
        engine.oneTenthSecondTimer();
        EXPECT_EQ(budget.bytesAvailableForConsumption(), 1000);
        EXPECT_EQ(int(seenAtOneSecond.size()), tick / 10);
    }
    EXPECT_EQ(seenAtOneSecond, (std::vector<qint32>{0, 0}));
    EXPECT_EQ(notices, 2);
}

TEST_F(BTCoreTest, WakeUpDialsPeersAgainAndTerminationSaves)
{
    class CountingPeers : public PeerService
    {
    public:
        Counts peerCounts(const TorrentLine&) const override { return {}; }
        quint64 pendingPieceSize(const TorrentLine&) const override { return 0; }
        void connectToPeers() override { ++dials; }
        void disconnectFromPeers(TorrentLine&) override {}
        void optimizePeerConnections(TorrentLine&) override {}
        void cancelUnneededPieces(TorrentLine&) override {}
        int dials = 0;
    } peers;
    PeerService::install(&peers);
    BTCore& engine = makeCore();
    int saves = 0;
    BTCore::Hooks hooks;
    hooks.saveAtTermination = [&] { ++saves; };
    engine.setHooks(std::move(hooks));
    emit sleepWatcher.didWake();
    EXPECT_EQ(peers.dials, 1);
    engine.applicationWillTerminate();
    EXPECT_EQ(saves, 1);
    PeerService::install(nullptr);
}

TEST(BTCoreOpenFiles, RaisesOnlyTheSoftLimit)
{
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
    rlimit lowered = before;
    lowered.rlim_cur = std::min<rlim_t>(256, before.rlim_max);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    BTCore::raiseOpenFileLimit();
    rlimit after{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &after), 0);
    EXPECT_EQ(after.rlim_max, before.rlim_max);
    EXPECT_EQ(after.rlim_cur, before.rlim_max == RLIM_INFINITY ? 10240 : std::min<rlim_t>(10240, before.rlim_max));
    ::setrlimit(RLIMIT_NOFILE, &before);
}

}  // namespace
}  // namespace ombrelay
