#include "platform/DesktopNotifications.h"
#include "platform/LauncherEntry.h"
#include "support/FakeNotificationServer.h"
#include "support/LauncherEntryListener.h"
#include "support/LoopLateness.h"
#include "support/PrivateSessionBus.h"
#include "support/WaitUntil.h"

#include <QDBusMessage>
#include <gtest/gtest.h>

namespace ombrelay {
namespace {

using test::FakeNotificationServer;

const DesktopNotifications::Sender kSender{QStringLiteral("Ombrelay"), QStringLiteral("ombrelay"),
                                           QStringLiteral("ombrelay")};

// A body is escaped exactly when the server reads markup, including notices posted before it said so.
TEST(DesktopNotificationsTest, BodyIsEscapedOnlyForServersThatReadMarkup)
{
    struct Case
    {
        QStringList capabilities;
        QString body;
        QString expected;
    } cases[] = {
        {{"body", "body-markup"}, "<b>A&B</b>", "&lt;b&gt;A&amp;B&lt;/b&gt;"},
        {{"body"}, "<b>A&B</b>", "<b>A&B</b>"},
        {{}, "Downloaded to: ~/x \"y\"", "Downloaded to: ~/x \"y\""},
    };
    for (const Case& c : cases) {
        test::PrivateSessionBus bus;
        ASSERT_TRUE(bus.isRunning());
        FakeNotificationServer server(bus.connect("server"), c.capabilities);
        DesktopNotifications notices(bus.connect("client"), kSender);
        notices.notify(QStringLiteral("Title"), c.body, QStringLiteral("transfer.complete"));
        ASSERT_TRUE(test::waitUntil([&] { return !server.notices.isEmpty(); }));
        test::spinFor(50);
        ASSERT_EQ(server.notices.size(), 1);
        const auto& notice = server.notices.constFirst();
        EXPECT_EQ(notice.body, c.expected) << qPrintable(c.capabilities.join(','));
        EXPECT_EQ(notice.summary, QStringLiteral("Title"));
        EXPECT_EQ(notice.appName, QStringLiteral("Ombrelay"));
        EXPECT_EQ(notice.appIcon, QStringLiteral("ombrelay"));
        EXPECT_EQ(notice.hints.value("desktop-entry").toString(), QStringLiteral("ombrelay"));
        EXPECT_EQ(notice.hints.value("category").toString(), QStringLiteral("transfer.complete"));
        EXPECT_EQ(server.capabilityQuestions, 1);
    }
}

// No server, or one that never answers: notices go nowhere and the loop keeps its pace.
TEST(DesktopNotificationsTest, MissingOrHungServerBlocksNothing)
{
    for (bool serverPresent : {false, true}) {
        test::PrivateSessionBus bus;
        ASSERT_TRUE(bus.isRunning());
        std::unique_ptr<FakeNotificationServer> server;
        if (serverPresent)
            server = std::make_unique<FakeNotificationServer>(bus.connect("server"), QStringList{"body-markup"}, false);
        test::LoopLateness lateness;
        DesktopNotifications notices(bus.connect("client"), kSender);
        for (int i = 0; i < 5; ++i)
            notices.notify(QStringLiteral("T%1").arg(i), QStringLiteral("<b>"), {});
        // The capabilities time out after 2 s; the waiting notices then go out (unescaped) and hang too.
        ASSERT_TRUE(test::waitUntil([&] { return notices.capabilitiesKnown(); }, 4000));
        test::spinFor(100);
        EXPECT_LE(lateness.worstMs(), 50) << serverPresent;
        if (server) {
            EXPECT_EQ(server->notices.size(), 5);
            EXPECT_EQ(server->notices.constFirst().body, QStringLiteral("<b>"));
        }
    }
}

TEST(LauncherEntryTest, SendsCountAndUrgencyOnChangeOnly)
{
    test::PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    test::LauncherEntryListener listener;
    ASSERT_TRUE(listener.listen(bus.connect("listener")));
    LauncherEntry entry(bus.connect("sender"), QStringLiteral("application://ombrelay.desktop"));
    const QList<std::pair<qint64, bool>> steps = {{0, false}, {0, false}, {1, false}, {1, false},
                                                  {1, true},  {1, true},  {0, true},  {0, false}};
    for (const auto& [count, urgent] : steps)
        entry.update(count, urgent);
    ASSERT_TRUE(test::waitUntil([&] { return listener.counts.size() >= 5; }));
    test::spinFor(50);
    EXPECT_EQ(listener.applications, QStringList(5, "application://ombrelay.desktop"));
    EXPECT_EQ(listener.counts, (QList<qint64>{0, 1, 1, 0, 0}));
    EXPECT_EQ(listener.visible, (QList<bool>{false, true, true, false, false}));
    EXPECT_EQ(listener.urgency, (QList<bool>{false, false, true, true, false}));
}

}  // namespace
}  // namespace ombrelay

