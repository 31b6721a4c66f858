#include "kit/AppPaths.h"
#include "kit/Settings.h"
#include "search/SourceListActions.h"
#include "search/feeds/Feed.h"
#include "search/panels/RSSAddPanel.h"
#include "support/HttpTestServer.h"
#include "support/Pictures.h"
#include "support/WaitUntil.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

const QByteArray kRss = R"(<?xml version="1.0"?><rss version="2.0"><channel><title>Daily
  Releases</title><item><title>One</title><link>http://x.example/1</link></item></channel></rss>)";
const QByteArray kRdf = R"(<?xml version="1.0"?><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#"
  xmlns="http://purl.org/rss/1.0/"><channel><title>RDF News</title></channel><item><title>A</title></item></rdf:RDF>)";
const QByteArray kAtom = R"(<?xml version="1.0"?><feed xmlns="http://www.w3.org/2005/Atom"><title>Atom Log</title>
  <entry><title>E</title><id>http://x.example/e</id></entry></feed>)";
const QByteArray kLaughs = R"(<?xml version="1.0"?><!DOCTYPE rss [<!ENTITY a "aaaaaaaaaa">
  <!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;"><!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;">
  <!ENTITY d "&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;"><!ENTITY e "&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;">]>
  <rss version="2.0"><channel><title>&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;</title></channel></rss>)";

class RecordingSourceList : public SourceListActions
{
public:
    void addNewQueryForString(const QString&) override {}
    void addNewSubscriptionForAddress(const QString& address, const QString& name) override
    {
        subscriptions << QStringList{address, name};
    }
    QList<QStringList> subscriptions;
};

class RSSAddPanelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        AppPaths::setApplicationSupportPath(dir.path());
        Settings::useFile(dir.filePath("settings.ini"));
        ASSERT_TRUE(server.listen());
        panel.setTrialTimeoutMs(3000);  // the silent server is given up on in a moment
        qputenv("http_proxy", server.url("/").toString(QUrl::RemovePath).toLatin1());
        qunsetenv("no_proxy");
        auto xml = [](const QByteArray& body) {
            HttpTestResponse r;
            r.body = body;
            return r;
        };
        server.route("/rss", xml(kRss));
        server.route("/rdf", xml(kRdf));
        server.route("/atom", xml(kAtom));
        server.route("/html", xml("<html><head><title>Hi</title></head><body>no feed</body></html>"));
        server.route("/laughs", xml(kLaughs));
        server.route("/huge", xml(kRss.left(kRss.size() - 25) + QByteArray(20 << 20, ' ') + "</channel></rss>"));
        HttpTestResponse silent;
        silent.silent = true;
        server.route("/silent", silent);
    }
    void TearDown() override { qunsetenv("http_proxy"); }

    bool settled() const { return panel.subscribeButton()->isEnabled() || panel.invalidBadge()->isVisibleTo(&panel); }

    QTemporaryDir dir;
    HttpTestServer server;
    RecordingSourceList sourceList;
    QWidget mainWindow;
    RSSAddPanel panel{&mainWindow, &sourceList};
};

TEST_F(RSSAddPanelTest, NormalisesAddresses)
{
    const struct {
        QString typed;
        QString address;
    } cases[] = {
        {"feed://a.example/rss", "http://a.example/rss"},
        {"a.example/x", "http://a.example/x"},
        {"https://a.example/x", "https://a.example/x"},
        {"HTTP://A.example/x", "http://a.example/x"},
        {"  http://a.example/x \n", "http://a.example/x"},
        {"", ""},
        {"http://", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RSSAddPanel::urlValueFromString(c.typed).toString(), c.address) << c.typed.toStdString();
}

TEST_F(RSSAddPanelTest, EnablesSubscribeOnlyForAFeed)
{
    const struct {
        QByteArray path;
        bool valid;
        QString nameOrReason;
    } cases[] = {
        {"/rss", true, "Daily Releases"},
        {"/rdf", true, "RDF News"},
        {"/atom", true, "Atom Log"},
        {"/html", false, "There is no feed at this address."},
        {"/missing", false, "The server answered with status 404."},
        {"/huge", false, "There is no feed at this address."},
        {"/laughs", false, "There is no feed at this address."},
        {"/silent", false, "The server does not answer."},
    };
    for (const auto& c : cases) {
        panel.openWithInitialAddress("feeds.example" + QString::fromLatin1(c.path));
        EXPECT_FALSE(panel.subscribeButton()->isEnabled());
        ASSERT_TRUE(waitUntil([&] { return settled(); }, 10000)) << c.path.constData();
        EXPECT_EQ(panel.subscribeButton()->isEnabled(), c.valid) << c.path.constData();
        EXPECT_EQ(c.valid ? panel.nameField()->text() : panel.invalidBadge()->text(), c.nameOrReason) << c.path.constData();
        if (c.path == "/rss")
            panel.grab().save(picturePath("OMBRELAY_ADDFEED_VALID_PNG", "addfeed-valid.png"));
        if (c.path == "/missing")
            panel.grab().save(picturePath("OMBRELAY_ADDFEED_INVALID_PNG", "addfeed-invalid.png"));
        panel.reject();
    }
    EXPECT_EQ(server.requests().first().target, QByteArray("http://feeds.example/rss"));
}

TEST_F(RSSAddPanelTest, TypingLoadsOnceAfterAPause)
{
    panel.openWithInitialAddress({});
    QTest::keyClicks(panel.urlField(), "x");
    spinFor(RSSAddPanel::kTypingPauseMs + 200);
    EXPECT_EQ(server.requestCount(), 0);  // one character never loads
    for (const char c : QByteArray("feeds.example/rss")) {
        QTest::keyClick(panel.urlField(), c);
        EXPECT_FALSE(panel.subscribeButton()->isEnabled());
        spinFor(50);
    }
    ASSERT_TRUE(waitUntil([&] { return settled(); }));
    EXPECT_TRUE(panel.subscribeButton()->isEnabled());
    EXPECT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.requests().first().target, QByteArray("http://xfeeds.example/rss"));
}

TEST_F(RSSAddPanelTest, SubscribesARegisteredFeedThatTrialsLeaveAlone)
{
    panel.openWithInitialAddress("http://sub.example/rss");
    ASSERT_TRUE(waitUntil([&] { return settled(); }));
    panel.nameField()->clear();
    QTest::keyClick(&panel, Qt::Key_Return);
    ASSERT_EQ(sourceList.subscriptions.size(), 1);
    EXPECT_EQ(sourceList.subscriptions.first(), QStringList({"http://sub.example/rss", "sub.example"}));
    Feed* feed = Feed::feedWithAddress("http://sub.example/rss");
    ASSERT_TRUE(waitUntil([&] { return feed->items().size() == 1; }));

    // Trying the subscribed address again and cancelling leaves the subscription as it was.
    panel.openWithInitialAddress("http://sub.example/rss");
    ASSERT_TRUE(waitUntil([&] { return settled(); }));
    QTest::keyClick(&panel, Qt::Key_Escape);
    EXPECT_FALSE(feed->isTempFeed());
    feed->saveFeedToDisk();
    EXPECT_TRUE(QFile::exists(feed->storageFilePath()));
    EXPECT_EQ(sourceList.subscriptions.size(), 1);
}

// The source list alone starts feeds: one that already holds the address (in other letter case) adds no
// item, and then no feed may run without one.
TEST_F(RSSAddPanelTest, SubscribingRegistersNoFeedBesideTheSourceList)
{
    panel.openWithInitialAddress("http://case.example/rss");
    ASSERT_TRUE(waitUntil([&] { return settled(); }));
    QTest::keyClick(&panel, Qt::Key_Return);
    ASSERT_EQ(sourceList.subscriptions.size(), 1);
    for (const Feed* feed : Feed::registeredFeeds())
        EXPECT_NE(feed->address(), "http://case.example/rss");
}

}  // namespace
