// The blocklist download in the network pane, against the test server standing as the HTTP proxy: a good
// archive is imported; every kind of failure returns the view to idle with the reason and the old list.
#include "app/prefs/BlocklistView.h"
#include "engine/blocklist/Blocklist.h"
#include "kit/AppPaths.h"
#include "kit/SerialQueue.h"
#include "kit/Settings.h"
#include "support/HttpTestServer.h"
#include "support/ZipArchive.h"

#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

quint32 address(const char* dotted)
{
    in_addr parsed{};
    inet_pton(AF_INET, dotted, &parsed);
    return parsed.s_addr;
}

class BlocklistViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        Settings::useFile(folder.filePath(QStringLiteral("Ombrelay.conf")));
        Settings::instance().setBool(QStringLiteral("kBlocklistEnabled"), true);
        ASSERT_TRUE(server.listen());
        qputenv("http_proxy", QStringLiteral("http://127.0.0.1:%1").arg(server.port()).toLatin1());
        qunsetenv("no_proxy");
        blocklist = std::make_unique<Blocklist>(folder.filePath(QStringLiteral("Blocklist.db")), Settings::instance());
        view = std::make_unique<BlocklistView>(*blocklist);
        view->setArchiveAddress(archive);
        view->setStallTimeoutMs(1000);
    }
    void TearDown() override
    {
        view.reset();
        qunsetenv("http_proxy");
        Settings::instance().sync();  // nothing writes the file again once its folder is gone
    }
    void serve(const HttpTestResponse& response) { server.route(path, response); }
    void download()
    {
        QSignalSpy idle(view.get(), &BlocklistView::becameIdle);
        view->downloadBlocklist();
        EXPECT_TRUE(view->isBusy());
        EXPECT_FALSE(view->downloadButton()->isEnabled());
        ASSERT_TRUE(idle.wait(30000));
        EXPECT_FALSE(view->isBusy());
        EXPECT_TRUE(view->downloadButton()->isEnabled());
        EXPECT_FALSE(view->updateProgress()->isVisibleTo(view.get()));
    }

    // A provider of the test's own, reached through the proxy.
    const QUrl archive{QStringLiteral("http://blocklist.test/config/level1.zip")};
    const QByteArray path = archive.path().toLatin1();
    QTemporaryDir folder;
    HttpTestServer server;
    std::unique_ptr<Blocklist> blocklist;
    std::unique_ptr<BlocklistView> view;
};

}  // namespace

TEST_F(BlocklistViewTest, AGoodArchiveIsImportedAndEveryFailureKeepsTheOldList)
{
    EXPECT_EQ(view->lastDownload()->text(), QStringLiteral("Never downloaded"));
    EXPECT_EQ(view->numberOfEntries()->text(), QStringLiteral("0"));
    serve({200, {}, zipOf({{"level1.txt", "Some net:1.2.3.0-1.2.3.255\r\nOther:5.6.7.8-5.6.7.9\r\n"}})});
    download();
    EXPECT_TRUE(view->failureText()->isHidden());
    EXPECT_EQ(view->lastDownload()->text(), QStringLiteral("Just updated"));
    EXPECT_EQ(view->numberOfEntries()->text(), QStringLiteral("2"));
    EXPECT_TRUE(blocklist->isBlocked(address("1.2.3.4")));
    EXPECT_FALSE(blocklist->isBlocked(address("1.2.4.0")));
    ASSERT_EQ(server.requestCount(), 1);
    const HttpTestRequest request = server.requests()[0];
    EXPECT_EQ(request.path, QByteArrayLiteral("/config/level1.zip"));
    EXPECT_TRUE(request.isAbsoluteForm()) << "reached through the proxy";
    EXPECT_TRUE(request.header("User-Agent").startsWith("Mozilla/5.0"));

    const QByteArray good = zipOf({{"level1.txt", "A:9.9.9.0-9.9.9.9\r\n"}});
    const QByteArray bomb(qint64(130) << 20, '\0');
    HttpTestResponse silent;
    silent.silent = true;
    const struct
    {
        const char* name;
        HttpTestResponse response;
    } cases[] = {
        {"not found", {404, {}, "no such file"}},
        {"a web page", {200, {{"Content-Type", "text/html"}}, "<html><body>Blocked</body></html>"}},
        {"a truncated archive", {200, {}, good.left(good.size() / 2)}},
        {"entries outside the folder", {200, {}, zipOf({{"../escape.txt", "A:9.9.9.0-9.9.9.9\r\n"}, {"level1.txt", "A:9.9.9.0-9.9.9.9\r\n"}})}},
        {"a bomb", {200, {}, zipOf({{"level1.txt", bomb}})}},
        {"a silent server", silent},
    };
    const QString temporary = AppPaths::temporaryDirectory();
    for (const auto& c : cases) {
        serve(c.response);
        download();
        EXPECT_TRUE(view->failureText()->isVisibleTo(view.get())) << c.name;
        EXPECT_TRUE(view->failureText()->text().startsWith(QStringLiteral("Download failed: "))) << c.name;
        EXPECT_EQ(view->numberOfEntries()->text(), QStringLiteral("2")) << c.name;
        EXPECT_TRUE(blocklist->isBlocked(address("1.2.3.4"))) << c.name;
        EXPECT_FALSE(blocklist->isBlocked(address("9.9.9.5"))) << c.name;
        EXPECT_FALSE(QFileInfo::exists(QDir(temporary).filePath(QStringLiteral("../escape.txt")))) << c.name;
        BlocklistView::operationQueue().drain();  // the archive is deleted off the main thread
        EXPECT_FALSE(QFileInfo::exists(QDir(temporary).filePath(QStringLiteral("level1.zip")))) << c.name;
    }
}

// No provider is set: Update Now asks no server and says so, not that a download failed.
TEST_F(BlocklistViewTest, WithoutAProviderThePaneSaysSoAndAsksNothing)
{
    BlocklistView plain(*blocklist);
    QSignalSpy idle(&plain, &BlocklistView::becameIdle);
    plain.downloadButton()->click();
    ASSERT_TRUE(!idle.isEmpty() || idle.wait(10000));
    EXPECT_EQ(plain.failureText()->text(), QStringLiteral("No blocklist provider is set."));
    EXPECT_TRUE(plain.failureText()->isVisibleTo(&plain));
    EXPECT_TRUE(plain.downloadButton()->isEnabled());
    EXPECT_FALSE(plain.isBusy());
    EXPECT_EQ(server.requestCount(), 0);
}

// The provider as a user types it: a host serves the fixed path over http, an address is taken whole.
TEST(BlocklistProvider, AHostOrAWholeAddress)
{
    const struct
    {
        const char* typed;
        const char* archive;  // empty: unusable
    } cases[] = {
        {"", ""},
        {"  lists.example  ", "http://lists.example/config/level1.zip"},
        {"127.0.0.1:8080", "http://127.0.0.1:8080/config/level1.zip"},
        {"https://lists.example/a/b.zip?k=1", "https://lists.example/a/b.zip?k=1"},
        {"HTTP://lists.example/level1.zip", "http://lists.example/level1.zip"},
        {"lists.example/level1.zip", ""},
        {"ftp://lists.example/level1.zip", ""},
        {"http://", ""},
        {"two words", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BlocklistView::archiveAddressFor(QString::fromLatin1(c.typed)).toString().toStdString(), c.archive)
            << c.typed;
}

TEST_F(BlocklistViewTest, QuittingMidDownloadStopsItAndLeavesTheViewIdle)
{
    HttpTestResponse slow;
    slow.silent = true;
    serve(slow);
    view->downloadBlocklist();
    ASSERT_TRUE(server.waitForRequests(1, 5000));
    view->cancelAndWait();
    EXPECT_FALSE(view->isBusy());
    EXPECT_EQ(view->numberOfEntries()->text(), QStringLiteral("0"));
}

TEST_F(BlocklistViewTest, ProgressIsDeterminateOnlyWhenTheLengthIsKnown)
{
    const struct
    {
        qint64 received;
        qint64 expected;
        QString text;
        bool busy;
    } cases[] = {
        {1234567, 3456789, QStringLiteral("1.2 MB of 3.5 MB"), false},
        {5000, -1, QStringLiteral("5 kB"), true},
        {0, 0, QStringLiteral("-"), true},
    };
    for (const auto& c : cases) {
        view->received(c.received, c.expected);
        EXPECT_EQ(view->downloadText()->text().toStdString(), c.text.toStdString()) << c.received;
        EXPECT_EQ(view->updateProgress()->maximum() == 0, c.busy) << c.received;
    }
}
