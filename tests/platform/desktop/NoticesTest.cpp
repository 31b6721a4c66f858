#include "platform/DesktopNotifications.h"
#include "support/LoopLateness.h"
#include "support/PrivateSessionBus.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>
#include <limits>

namespace ombrelay {
namespace {

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

// No server, or one that never answers: notices go nowhere and the loop keeps its pace. A blocking call
// would hold the loop for its 2 s time-out in every run; a busy machine may delay a single run, so the
// best of three counts.
TEST(DesktopNotificationsTest, MissingOrHungServerBlocksNothing)
{
    for (bool serverPresent : {false, true}) {
        qint64 best = std::numeric_limits<qint64>::max();
        for (int run = 0; run < 3 && best > 50; ++run) {
            test::PrivateSessionBus bus;
            ASSERT_TRUE(bus.isRunning());
            std::unique_ptr<FakeNotificationServer> server;
            if (serverPresent)
                server = std::make_unique<FakeNotificationServer>(bus.connect("server"), QStringList{"body-markup"}, false);
            const QDBusConnection client = bus.connect("client");  // connecting blocks; asking must not
            test::LoopLateness lateness;
            DesktopNotifications notices(client, kSender);
            for (int i = 0; i < 5; ++i)
                notices.notify(QStringLiteral("T%1").arg(i), QStringLiteral("<b>"), {});
            // The capabilities time out after 2 s; the waiting notices then go out (unescaped) and hang too.
            ASSERT_TRUE(test::waitUntil([&] { return notices.capabilitiesKnown(); }, 4000));
            test::spinFor(100);
            best = std::min(best, lateness.worstMs());
            if (server) {
                EXPECT_EQ(server->notices.size(), 5);
                EXPECT_EQ(server->notices.constFirst().body, QStringLiteral("<b>"));
            }
        }
        EXPECT_LE(best, 50) << serverPresent;
    }
}

}  // namespace
}  // namespace ombrelay

