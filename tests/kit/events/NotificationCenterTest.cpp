#include "kit/NotificationCenter.h"
#include "kit/PerformLater.h"

#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace ombrelay;

namespace {

// Each test posts names of its own, so observers left by one cannot answer another.
QString uniqueName(const char* base)
{
    static int serial = 0;
    return QStringLiteral("%1-%2").arg(QLatin1String(base)).arg(++serial);
}

TEST(NotificationCenterTest, PostIsSynchronousAndTheObjectFilterSelectsThePoster)
{
    const QString name = uniqueName("StateChanged");
    QObject observer, wanted, other;
    QList<Notification> received;
    int fromWanted = 0;
    listenForNotification(&observer, name, [&](const Notification& n) { received.append(n); });
    listenForNotification(&observer, name, [&](const Notification&) { ++fromWanted; }, &wanted);

    postNotificationAboutSelf(&other, name, {{QStringLiteral("count"), 3}});
    ASSERT_EQ(received.size(), 1);
    EXPECT_EQ(received[0].name, name);
    EXPECT_EQ(received[0].object, &other);
    EXPECT_EQ(received[0].userInfo.value(QStringLiteral("count")).toInt(), 3);
    EXPECT_EQ(fromWanted, 0);

    postNotificationAboutSelf(&wanted, name);
    postNotificationAboutSelf(&wanted, uniqueName("Unrelated"));
    EXPECT_EQ(received.size(), 2);
    EXPECT_EQ(fromWanted, 1);
    stopListening(&observer);
}

TEST(NotificationCenterTest, ObserverRemovedWhilePostingIsNotCalled)
{
    const QString name = uniqueName("Removal");
    QObject first, second, third;
    int calls[3] = {0, 0, 0};
    listenForNotification(&first, name, [&](const Notification&) {
        ++calls[0];
        stopListening(&second);
    });
    listenForNotification(&second, name, [&](const Notification&) { ++calls[1]; });
    listenForNotification(&third, name, [&](const Notification&) { ++calls[2]; });

    postNotificationAboutSelf(&first, name);

    EXPECT_EQ(calls[0], 1);
    EXPECT_EQ(calls[1], 0);
    EXPECT_EQ(calls[2], 1);
    EXPECT_EQ(NotificationCenter::defaultCenter().observerCount(name), 2);
    stopListening(&first);
    stopListening(&third);
}

TEST(NotificationCenterTest, ObserverDestroyedWhilePostingIsNotCalled)
{
    const QString name = uniqueName("Destruction");
    QObject first;
    auto second = std::make_unique<QObject>();
    int secondCalls = 0;
    listenForNotification(&first, name, [&](const Notification&) { second.reset(); });
    listenForNotification(second.get(), name, [&](const Notification&) { ++secondCalls; });

    postNotificationAboutSelf(&first, name);

    EXPECT_EQ(secondCalls, 0);
    EXPECT_EQ(NotificationCenter::defaultCenter().observerCount(name), 1);
    stopListening(&first);
}

TEST(NotificationCenterTest, ObserverAddedWhilePostingHearsOnlyLaterPosts)
{
    const QString name = uniqueName("Addition");
    QObject first, late;
    int lateCalls = 0;
    listenForNotification(&first, name, [&](const Notification&) {
        if (NotificationCenter::defaultCenter().observerCount(name) == 1)
            listenForNotification(&late, name, [&](const Notification&) { ++lateCalls; });
    });
    postNotificationAboutSelf(&first, name);
    EXPECT_EQ(lateCalls, 0);
    postNotificationAboutSelf(&first, name);
    EXPECT_EQ(lateCalls, 1);
    stopListening(&first);
    stopListening(&late);
}

TEST(NotificationCenterTest, RemovingOneNameKeepsTheOthersAndDestructionRemovesAll)
{
    const QString a = uniqueName("A"), b = uniqueName("B");
    QObject poster;
    int calls = 0;
    {
        QObject observer;
        listenForNotification(&observer, a, [&](const Notification&) { ++calls; });
        listenForNotification(&observer, b, [&](const Notification&) { calls += 10; });
        NotificationCenter::defaultCenter().removeObserver(&observer, a);
        postNotificationAboutSelf(&poster, a);
        postNotificationAboutSelf(&poster, b);
        EXPECT_EQ(calls, 10);
        EXPECT_EQ(NotificationCenter::defaultCenter().observerCount(b), 1);
    }
    EXPECT_EQ(NotificationCenter::defaultCenter().observerCount(b), 0);
    postNotificationAboutSelf(&poster, b);
    EXPECT_EQ(calls, 10);
}

TEST(NotificationCenterTest, LocalCenterMayDieBeforeItsObservers)
{
    QObject observer, poster;
    int calls = 0;
    {
        NotificationCenter center;
        center.addObserver(&observer, QStringLiteral("Local"), [&](const Notification&) { ++calls; });
        center.post(QStringLiteral("Local"), &poster);
    }
    EXPECT_EQ(calls, 1);
    // `observer` is destroyed after the centre; nothing may touch the dead centre then (ASan watches).
}

TEST(NotificationCenterTest, PostLaterWaitsForTheEventLoopAndStopListeningCancelsIt)
{
    const QString name = uniqueName("Later");
    QObject observer, poster, cancelled;
    QList<QObject*> posters;
    listenForNotification(&observer, name, [&](const Notification& n) { posters.append(n.object); });

    postNotificationAboutSelfLater(&poster, name);
    postNotificationAboutSelfLater(&cancelled, name);
    stopListening(&cancelled);
    EXPECT_TRUE(posters.isEmpty());

    EXPECT_TRUE(QTest::qWaitFor([&] { return !posters.isEmpty(); }, 2000));
    QTest::qWait(20);
    ASSERT_EQ(posters.size(), 1);
    EXPECT_EQ(posters[0], &poster);
    stopListening(&observer);
}

}  // namespace
