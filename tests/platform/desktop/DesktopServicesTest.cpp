#include "platform/DesktopIdleTime.h"
#include "platform/DesktopNotifications.h"
#include "platform/LogindSleepWatcher.h"
#include "support/PrivateSessionBus.h"
#include "support/WaitUntil.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace ombrelay {
namespace {

class FakeMutterMonitor : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Mutter.IdleMonitor")
public slots:
    quint64 GetIdletime() { return 700500; }
};

class FakeScreenSaver : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public slots:
    uint GetSessionIdleTime() { return 42; }
};

// A private message bus for one test, with a connection that serves and one that asks.
class PrivateBus : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bus.isRunning());
        ASSERT_TRUE(server.isConnected());
        ASSERT_TRUE(client.isConnected());
    }

    qint64 askIdleSeconds()
    {
        DesktopIdleTime idle(client, false);
        QObject context;
        qint64 answer = -1;
        idle.querySecondsSinceInput(&context, [&](qint64 seconds) { answer = seconds; });
        for (int i = 0; i < 500 && answer < 0; ++i)
            QTest::qWait(10);
        return answer;
    }
    void serve(const QString& service, const QString& path, QObject* object)
    {
        ASSERT_TRUE(server.registerService(service));
        ASSERT_TRUE(server.registerObject(path, object, QDBusConnection::ExportAllSlots));
    }

    test::PrivateSessionBus bus;
    QDBusConnection server = bus.connect(QStringLiteral("server"));
    QDBusConnection client = bus.connect(QStringLiteral("client"));
};

// Nobody answering means not idle; the screen saver answers alone; Mutter, once there, answers first.
TEST_F(PrivateBus, IdleTimeComesFromMutterThenTheScreenSaver)
{
    EXPECT_EQ(askIdleSeconds(), 0);
    FakeScreenSaver screenSaver;
    serve(QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/org/freedesktop/ScreenSaver"), &screenSaver);
    EXPECT_EQ(askIdleSeconds(), 42);
    FakeMutterMonitor mutter;
    serve(QStringLiteral("org.gnome.Mutter.IdleMonitor"), QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core"), &mutter);
    EXPECT_EQ(askIdleSeconds(), 700);
}

TEST_F(PrivateBus, PrepareForSleepFalseIsAWakeUp)
{
    ASSERT_TRUE(server.registerService(QStringLiteral("org.freedesktop.login1")));
    LogindSleepWatcher watcher(client);
    ASSERT_TRUE(watcher.isListening());
    QSignalSpy woke(&watcher, &SleepWatcher::didWake);
    auto prepare = [&](bool starting) {
        auto signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                 QStringLiteral("org.freedesktop.login1.Manager"),
                                                 QStringLiteral("PrepareForSleep"));
        signal << starting;
        ASSERT_TRUE(server.send(signal));
    };
    prepare(true);
    prepare(false);
    ASSERT_TRUE(woke.wait(5000));
    QTest::qWait(50);  // anything delivered late would show up here
    EXPECT_EQ(woke.count(), 1);
}

using test::FakeNotificationServer;

const DesktopNotifications::Sender kSender{QStringLiteral("Ombrelay"), QStringLiteral("ombrelay"),
                                           QStringLiteral("ombrelay")};

// A body is escaped exactly when the server reads markup, including notices posted before it said so.
TEST(DesktopNotificationsTest, BodyIsEscapedOnlyForServersThatReadMarkup)
{
    // Capabilities, body, body sent.
    const std::tuple<QStringList, QString, QString> cases[] = {
        {{"body", "body-markup"}, "<b>A&B</b>", "&lt;b&gt;A&amp;B&lt;/b&gt;"},
        {{"body"}, "<b>A&B</b>", "<b>A&B</b>"},
        {{}, "Downloaded to: ~/x \"y\"", "Downloaded to: ~/x \"y\""},
    };
    for (const auto& [capabilities, body, expected] : cases) {
        test::PrivateSessionBus bus;
        ASSERT_TRUE(bus.isRunning());
        FakeNotificationServer server(bus.connect("server"), capabilities);
        DesktopNotifications notices(bus.connect("client"), kSender);
        notices.notify(QStringLiteral("Title"), body, QStringLiteral("transfer.complete"));
        ASSERT_TRUE(test::waitUntil([&] { return !server.notices.isEmpty(); }));
        test::spinFor(50);
        ASSERT_EQ(server.notices.size(), 1);
        const auto& notice = server.notices.constFirst();
        EXPECT_EQ(notice.body, expected) << qPrintable(capabilities.join(','));
        EXPECT_EQ(notice.summary, QStringLiteral("Title"));
        EXPECT_EQ(notice.hints.value("category").toString(), QStringLiteral("transfer.complete"));
        EXPECT_EQ(server.capabilityQuestions, 1);
    }
}

// No server, or one that never answers: notices go nowhere and nothing waits for an answer. A blocking
// question would know the capabilities when notify() returns and hold the loop until its time-out.
TEST(DesktopNotificationsTest, MissingOrHungServerBlocksNothing)
{
    for (bool serverPresent : {false, true}) {
        SCOPED_TRACE(serverPresent ? "hung server" : "no server");
        test::PrivateSessionBus bus;
        ASSERT_TRUE(bus.isRunning());
        std::unique_ptr<FakeNotificationServer> server;
        if (serverPresent)
            server = std::make_unique<FakeNotificationServer>(bus.connect("server"), QStringList{"body-markup"}, false);
        const QDBusConnection client = bus.connect("client");  // connecting blocks; asking must not
        DesktopNotifications notices(client, kSender);
        for (int i = 0; i < 5; ++i)
            notices.notify(QStringLiteral("T%1").arg(i), QStringLiteral("<b>"), {});
        EXPECT_FALSE(notices.capabilitiesKnown()) << "asked, not waited for";
        int ticksWhileAsking = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ticksWhileAsking += notices.capabilitiesKnown() ? 0 : 1; });
        ticker.start(5);
        // The capabilities time out after 2 s; the waiting notices then go out (unescaped) and hang too.
        ASSERT_TRUE(test::waitUntil([&] { return notices.capabilitiesKnown(); }, 10000));
        if (server) {
            EXPECT_GT(ticksWhileAsking, 0) << "the loop ran while the server kept silent";
            // Five sends each waiting out a 2 s time-out would take 10 s; sent at once they all arrive.
            ASSERT_TRUE(test::waitUntil([&] { return server->notices.size() == 5; }, 8000));
            EXPECT_EQ(server->notices.constFirst().body, QStringLiteral("<b>"));
        }
    }
}

}  // namespace
}  // namespace ombrelay

#include "DesktopServicesTest.moc"
