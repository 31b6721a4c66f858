// A real gateway in network namespaces made by the test: a LAN namespace whose only way out is a veth
// pair to a gateway namespace running miniupnpd (NAT-PMP and UPnP IGD), whose "internet" side is a
// second veth pair inside the gateway namespace itself. The test re-runs itself inside the LAN namespace
// as the client, talking to it over stdin and stdout; nothing reaches the host's own interfaces.

#include "engine/core/BTCore.h"
#include "engine/nat/NatPmpBackend.h"
#include "engine/nat/PortMapper.h"
#include "engine/nat/PortMappingError.h"
#include "engine/nat/UpnpIgdBackend.h"
#include "kit/NotificationCenter.h"
#include "kit/Settings.h"
#include "platform/IdleTime.h"
#include "platform/SleepWatcher.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

using namespace ombrelay;

namespace {

constexpr char kScenarioVariable[] = "OMBRELAY_NAT_CLIENT_SCENARIO";
constexpr char kIp[] = "/usr/sbin/ip";
constexpr char kGatewayDaemon[] = "/usr/sbin/miniupnpd";
constexpr char kNft[] = "/usr/sbin/nft";
// The gateway's public side. Any address the gateway daemon accepts as public will do (it refuses the
// documentation ranges); the namespace has no route to the real one.
constexpr char kPublicAddress[] = "11.0.0.1";
constexpr char kLanAddress[] = "10.77.0.2";
constexpr quint16 kPort = 6881;
constexpr quint16 kTakenPublicPort = kPort; // in the engine test, the gateway refuses it
constexpr int kCommandMs = 5000;
constexpr int kClientMs = 30000;

// ---- the client side, inside the LAN namespace ----

bool waitForInputLine(const char* expected, int timeoutMs)
{
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (poll(&input, 1, timeoutMs) != 1)
        return false;
    char line[64] = {};
    return fgets(line, sizeof line, stdin) && QByteArray(line).trimmed() == expected;
}

void say(const QString& line)
{
    fprintf(stdout, "%s\n", qPrintable(line));
    fflush(stdout);
}

PortMapper::Parts clientParts(const QString& scenario)
{
    PortMapper::Parts parts = PortMapper::defaultParts();
    if (scenario == QLatin1String("natpmp"))
        parts.backends = {std::make_shared<NatPmpBackend>()};
    else if (scenario == QLatin1String("upnp"))
        parts.backends = {std::make_shared<UpnpIgdBackend>()};
    return parts;
}

// Waits for the test's "quit", then quits the application the way the program does, which removes the
// mapping.
void quitWhenTold()
{
    say(QStringLiteral("mapped"));
    ASSERT_TRUE(waitForInputLine("quit", kClientMs));
    QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    say(QStringLiteral("quit"));
}

// Maps the port as the engine asks for it and reports what came back.
void runMapperClient(const QString& scenario)
{
    QObject observer;
    auto* mapper = new PortMapper(kPort, clientParts(scenario), QCoreApplication::instance());
    mapper->setMapTCP(true);
    mapper->setMapUDP(true);
    mapper->setDesiredPublicPort(kPort);
    int reports = 0;
    listenForNotification(
        &observer, QStringLiteral("PortMapperChanged"), [&](const Notification&) { ++reports; }, mapper);
    ASSERT_TRUE(mapper->open());
    ASSERT_TRUE(QTest::qWaitFor([&] { return reports > 0; }, PortMapper::kAnswerTimeoutMs + 2000));
    say(QStringLiteral("reported: error %1 address %2 port %3 mapped %4")
            .arg(mapper->error())
            .arg(mapper->publicAddress(), QString::number(mapper->publicPort()),
                 QString::number(mapper->isMapped())));

    if (scenario == QLatin1String("silent")) {
        EXPECT_EQ(mapper->error(), PortMappingError::Unsupported);
        EXPECT_FALSE(mapper->isMapped());
        return;
    }
    EXPECT_EQ(mapper->error(), PortMappingError::NoError);
    EXPECT_EQ(mapper->publicAddress(), QLatin1String(kPublicAddress));
    EXPECT_EQ(mapper->publicPort(), kPort);
    EXPECT_TRUE(mapper->isMapped());

    std::optional<QString> found;
    PortMapper::findPublicAddress(&observer, clientParts(scenario),
                                  [&](const QString& address) { found = address; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return found.has_value(); }, PortMapper::kAnswerTimeoutMs + 2000));
    EXPECT_EQ(*found, QLatin1String(kPublicAddress));
    quitWhenTold();
}

class NeverIdle : public IdleTime
{
public:
    void querySecondsSinceInput(QObject*, std::function<void(qint64)> done) override { done(0); }
};

// The engine binds its port and maps it; the gateway will not give out that same public port, so
// the engine announces the one it was given instead.
void runEngineClient()
{
    QTemporaryDir folder;
    Settings settings(folder.filePath(QStringLiteral("Ombrelay.conf")));
    settings.setInteger(QStringLiteral("kBTPort"), kPort);
    settings.setBool(QStringLiteral("kRandomPort"), false);
    NeverIdle idle;
    SleepWatcher sleepWatcher;
    BTCore::Parts parts;
    parts.settings = &settings;
    parts.idleTime = &idle;
    parts.sleepWatcher = &sleepWatcher;
    parts.makePortMapper = BTCore::defaultParts().makePortMapper;
    parts.startTimers = false;

    QObject observer;
    int reports = 0;
    listenForNotification(&observer, QStringLiteral("PortMapperChanged"),
                          [&](const Notification&) { ++reports; });
    auto* core = new BTCore(parts, QCoreApplication::instance());
    ASSERT_TRUE(core->portMapper());
    ASSERT_TRUE(QTest::qWaitFor([&] { return reports > 0; }, PortMapper::kAnswerTimeoutMs + 2000));
    say(QStringLiteral("reported: private port %1 public port %2")
            .arg(core->privatePort())
            .arg(core->publicPort()));
    EXPECT_EQ(core->privatePort(), kPort);
    EXPECT_TRUE(core->portMapper()->isMapped());
    EXPECT_NE(core->publicPort(), kTakenPublicPort);
    EXPECT_EQ(core->publicPort(), core->portMapper()->publicPort());
    quitWhenTold();
}

// ---- the test side, in the host namespace ----

void dieWithParent()
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
}

class PortMapperGatewayTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!qEnvironmentVariableIsEmpty(kScenarioVariable))
            return;
        if (geteuid() != 0)
            GTEST_SKIP() << "creating network namespaces needs root";
        for (const char* tool : {kIp, kGatewayDaemon, kNft}) {
            if (!QFile::exists(QLatin1String(tool)))
                GTEST_SKIP() << tool << " is missing (scripts/install-deps installs it)";
        }
        removeStaleNamespaces();
        const QString prefix = QStringLiteral("ombrelay-nat-%1-").arg(QCoreApplication::applicationPid());
        m_gateway = prefix + QStringLiteral("gw");
        m_lan = prefix + QStringLiteral("lan");
        QString failure;
        if (!ip({"netns", "add", m_gateway}, &failure))
            GTEST_SKIP() << "cannot create a network namespace: " << qPrintable(failure);
        m_namespaces << m_gateway;
        ASSERT_TRUE(ip({"netns", "add", m_lan}, &failure)) << qPrintable(failure);
        m_namespaces << m_lan;
        buildNetwork();
    }

    void TearDown() override
    {
        for (QProcess* process : {&m_client, &m_daemon}) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(kCommandMs);
            }
        }
        for (const QString& name : std::as_const(m_namespaces))
            ip({"netns", "del", name});
    }

    static bool run(const QString& program, const QStringList& arguments, QString* output = nullptr)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setChildProcessModifier(dieWithParent);
        process.start(program, arguments);
        const bool finished = process.waitForFinished(kCommandMs);
        if (!finished)
            process.kill(), process.waitForFinished(kCommandMs);
        if (output)
            *output = QString::fromLocal8Bit(process.readAll());
        return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }
    static bool ip(const QStringList& arguments, QString* output = nullptr)
    {
        return run(QLatin1String(kIp), arguments, output);
    }
    bool inGateway(const QStringList& command, QString* output = nullptr) const
    {
        return ip(QStringList{"netns", "exec", m_gateway} + command, output);
    }

    // Namespaces of earlier runs that died before cleaning up.
    static void removeStaleNamespaces()
    {
        QString list;
        ip({"netns", "list"}, &list);
        static const QRegularExpression ours(QStringLiteral("^(ombrelay-nat-(\\d+)-\\w+)"),
                                             QRegularExpression::MultilineOption);
        for (auto match = ours.globalMatch(list); match.hasNext();) {
            const QRegularExpressionMatch m = match.next();
            if (!QDir(QStringLiteral("/proc/") + m.captured(2)).exists())
                ip({"netns", "del", m.captured(1)});
        }
    }

    void buildNetwork()
    {
        const QString g = m_gateway, l = m_lan;
        const QList<QStringList> steps = {
            {"-n", g, "link", "set", "lo", "up"},
            {"-n", l, "link", "set", "lo", "up"},
            {"-n", g, "link", "add", "lan0", "type", "veth", "peer", "name", "lan1", "netns", l},
            {"-n", g, "link", "add", "wan0", "type", "veth", "peer", "name", "wan1"},
            {"-n", g, "addr", "add", "10.77.0.1/24", "dev", "lan0"},
            {"-n", g, "addr", "add", QStringLiteral("%1/24").arg(kPublicAddress), "dev", "wan0"},
            {"-n", g, "link", "set", "lan0", "up"},
            {"-n", g, "link", "set", "wan0", "up"},
            {"-n", g, "link", "set", "wan1", "up"},
            {"-n", l, "addr", "add", QStringLiteral("%1/24").arg(kLanAddress), "dev", "lan1"},
            {"-n", l, "link", "set", "lan1", "up"},
            {"-n", l, "route", "add", "default", "via", "10.77.0.1"},
        };
        for (const QStringList& step : steps) {
            QString failure;
            ASSERT_TRUE(ip(step, &failure)) << qPrintable(step.join(' ')) << ": " << qPrintable(failure);
        }
    }

    // The daemon's tables and chains, as its packaging would create them on a router.
    // `rules`: permission rules ahead of the one that lets the LAN map ports 1024 and up.
    void startGatewayDaemon(const QByteArray& rules)
    {
        ASSERT_TRUE(m_files.isValid());
        writeFile("rules.nft",
                  "table inet filter {\n"
                  "  chain forward { type filter hook forward priority 0; policy accept; jump miniupnpd; }\n"
                  "  chain miniupnpd { }\n"
                  "  chain prerouting { type nat hook prerouting priority -100; policy accept;"
                  " jump prerouting_miniupnpd; }\n"
                  "  chain postrouting { type nat hook postrouting priority 100; policy accept;"
                  " jump postrouting_miniupnpd; }\n"
                  "  chain prerouting_miniupnpd { }\n"
                  "  chain postrouting_miniupnpd { }\n"
                  "}\n");
        QString failure;
        ASSERT_TRUE(inGateway({kNft, "-f", m_files.filePath("rules.nft")}, &failure)) << qPrintable(failure);
        writeFile("miniupnpd.conf", "ext_ifname=wan0\n"
                                    "listening_ip=lan0\n"
                                    "enable_natpmp=yes\n"
                                    "enable_upnp=yes\n"
                                    "secure_mode=yes\n"
                                    "ipv6_disable=yes\n"
                                    "uuid=3f9b6c4e-1c1a-4b7e-9d55-0a1b2c3d4e5f\n" +
                                        rules +
                                        "allow 1024-65535 10.77.0.0/24 1024-65535\n"
                                        "deny 0-65535 0.0.0.0/0 0-65535\n");
        m_daemon.setProcessChannelMode(QProcess::MergedChannels);
        m_daemon.setChildProcessModifier(dieWithParent);
        m_daemon.start(QLatin1String(kIp),
                       {"netns", "exec", m_gateway, kGatewayDaemon, "-d", "-f",
                        m_files.filePath("miniupnpd.conf"), "-P", m_files.filePath("pid")});
        QByteArray log;
        QDeadlineTimer deadline(kCommandMs);
        while (!log.contains("Listening for NAT-PMP") && !deadline.hasExpired() &&
               m_daemon.waitForReadyRead(200))
            log += m_daemon.readAll();
        ASSERT_TRUE(log.contains("Listening for NAT-PMP")) << log.constData();
    }

    void writeFile(const QString& name, const QByteArray& text)
    {
        QFile file(m_files.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    // The gateway's forwarding rules for our port to the LAN host.
    int gatewayRulesForOurPort() const
    {
        QString rules;
        inGateway({kNft, "list", "ruleset"}, &rules);
        return int(rules.split('\n').filter(QStringLiteral("%1:%2").arg(kLanAddress).arg(kPort)).count());
    }

    // Inside the LAN namespace, the test runs the client's part instead.
    static bool runAsClient()
    {
        const QString scenario = qEnvironmentVariable(kScenarioVariable);
        if (scenario.isEmpty())
            return false;
        if (scenario == QLatin1String("engine"))
            runEngineClient();
        else
            runMapperClient(scenario);
        return true;
    }

    void startClient(const QString& scenario)
    {
        const char* testName = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(kScenarioVariable, scenario);
        m_client.setProcessEnvironment(environment);
        m_client.setChildProcessModifier(dieWithParent);
        m_client.start(QLatin1String(kIp),
                       {"netns", "exec", m_lan, QCoreApplication::applicationFilePath(),
                        QStringLiteral("--gtest_filter=PortMapperGatewayTest.%1").arg(testName)});
        ASSERT_TRUE(m_client.waitForStarted(kCommandMs));
    }

    // Reads the client's output until a line equals `line`; false on its end or after the time limit.
    bool clientSays(const char* line)
    {
        QDeadlineTimer deadline(kClientMs);
        while (!deadline.hasExpired()) {
            while (m_client.canReadLine()) {
                const QByteArray read = m_client.readLine();
                m_clientOutput += read;
                if (read.trimmed() == line)
                    return true;
            }
            if (m_client.state() == QProcess::NotRunning ||
                !m_client.waitForReadyRead(int(deadline.remainingTime())))
                break;
        }
        m_clientOutput += m_client.readAll();
        return false;
    }

    bool clientFinishedWell()
    {
        const bool finished = m_client.waitForFinished(kClientMs);
        m_clientOutput += m_client.readAll();
        return finished && m_client.exitStatus() == QProcess::NormalExit && m_client.exitCode() == 0;
    }

    // A gateway daemon grants the mapping; quitting the client removes it again.
    void mapThroughTheGateway(const QString& scenario, const QByteArray& rules = {})
    {
        startGatewayDaemon(rules);
        startClient(scenario);
        ASSERT_TRUE(clientSays("mapped")) << m_clientOutput.constData();
        EXPECT_EQ(gatewayRulesForOurPort(), 2) << "a TCP and a UDP rule while mapped";
        m_client.write("quit\n");
        ASSERT_TRUE(clientSays("quit")) << m_clientOutput.constData();
        ASSERT_TRUE(clientFinishedWell()) << m_clientOutput.constData();
        EXPECT_EQ(gatewayRulesForOurPort(), 0) << "removed at quit";
    }

    QString m_gateway;
    QString m_lan;
    QStringList m_namespaces;
    QTemporaryDir m_files;
    QProcess m_daemon;
    QProcess m_client;
    QByteArray m_clientOutput;
};

TEST_F(PortMapperGatewayTest, TheEngineAnnouncesThePublicPortItWasGiven)
{
    if (runAsClient())
        return;
    mapThroughTheGateway(QStringLiteral("engine"),
                         QByteArray("deny ") + QByteArray::number(kTakenPublicPort) + " 0.0.0.0/0 0-65535\n");
}

TEST_F(PortMapperGatewayTest, NatPmpGrantsTheMapping)
{
    if (runAsClient())
        return;
    mapThroughTheGateway(QStringLiteral("natpmp"));
}

TEST_F(PortMapperGatewayTest, UpnpIgdGrantsTheMapping)
{
    if (runAsClient())
        return;
    mapThroughTheGateway(QStringLiteral("upnp"));
}

TEST_F(PortMapperGatewayTest, AGatewayWithoutMappingIsReportedWithinTheTimeOut)
{
    if (runAsClient())
        return;
    startClient(QStringLiteral("silent"));
    ASSERT_TRUE(clientFinishedWell()) << m_clientOutput.constData();
}

} // namespace
