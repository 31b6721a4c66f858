#include "platform/DesktopIdleTime.h"
#include "platform/LogindSleepWatcher.h"
#include "support/PrivateSessionBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QSignalSpy>
#include <QTest>
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

}  // namespace
}  // namespace ombrelay

#include "DesktopServicesTest.moc"
