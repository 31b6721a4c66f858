#include "app/openaddress/OpenTorrentURLPanel.h"
#include "engine/storage/SessionLifecycle.h"
#include "engine/torrent/MagnetURL.h"
#include "engine/torrent/Metainfo.h"
#include "kit/AppPaths.h"
#include "kit/OBDefaults.h"
#include "kit/http/HttpCookieStore.h"
#include "support/HttpTestServer.h"
#include "support/Pictures.h"
#include "support/TestFiles.h"
#include "support/WaitUntil.h"
#include "transfers/TransfersFixture.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace ombrelay::test {
namespace {

constexpr int kSilenceMs = 3000;

HttpTestResponse file(const QByteArray& body, const QByteArray& name = {})
{
    HttpTestResponse r;
    r.body = body;
    if (!name.isEmpty())
        r.headers.append({"Content-Disposition", "attachment; filename=\"" + name + "\""});
    return r;
}

class OpenAddressTest : public TransfersFixture
{
protected:
    void SetUp() override
    {
        TransfersFixture::SetUp();
        ASSERT_TRUE(data.isValid());
        AppPaths::setApplicationSupportPath(data.path());
        Settings::instance().setValue("save_directory", data.path());
        Settings::instance().setValue("kConfirmLocationInternal", "0");
        ASSERT_TRUE(server.listen());
        const QByteArray proxy = server.url("/").toString(QUrl::RemovePath).toLatin1();
        qputenv("http_proxy", proxy);
        qputenv("https_proxy", proxy);
        qunsetenv("no_proxy");
        right = metainfo(singleFileInfo("right.iso", 3'000'000));
        server.route("/right.torrent", file(right, "../../x.torrent"));
        server.route("/wrong.torrent", file(metainfo(multiFileInfo("wrong", {{{"a"}, 1000}, {{"b"}, 2000}})), "/etc/x"));
        server.route("/page.html", file("<html><body>not a torrent</body></html>"));
        server.route("/padded.torrent", file(readFile(testSourcePath("support/torrents/padded.torrent"))));
        server.route("/huge.torrent", file(QByteArray(70 << 20, 'd')));
        HttpTestResponse silent;
        silent.silent = true;
        server.route("/silent.torrent", silent);
        // A slow line: the torrent arrives over longer than a server may stay silent, never silent that long.
        HttpTestResponse slow = file(right);
        slow.sliceBytes = right.size() / 30;
        slow.sliceIntervalMs = 150;
        server.route("/slow.torrent", slow);
        // Served only to a logged-in user, whose cookie the web pages left in the loaders' store.
        server.route("/members.torrent", [this](const HttpTestRequest& request) {
            return request.header("Cookie") == "member=yes" ? file(right) : HttpTestResponse{403, {}, "members only"};
        });
        HttpCookieStore::setCookie({".members.example", "/", "member", "yes", false, {}});
        QGuiApplication::clipboard()->setText("not an address");
        lifecycle = std::make_unique<SessionLifecycle>(*volumes);
        panel = std::make_unique<OpenTorrentURLPanel>(&mainWindow, *lifecycle);
        panel->setFetchStallMs(1000);  // the silent server is given up on in a moment
    }
    void TearDown() override
    {
        HttpCookieStore::clear();
        panel.reset();
        lifecycle.reset();
        qunsetenv("http_proxy");
        qunsetenv("https_proxy");
        TransfersFixture::TearDown();
    }

    bool settled() const { return !panel->isFetching() && (panel->torrent() || !panel->statusLine()->text().isEmpty()); }
    void open(const QString& address)
    {
        panel->openPanelWithAddress(address);
        ASSERT_TRUE(waitUntil([&] { return settled(); }, kSilenceMs + 10000)) << qPrintable(address);
    }

    QTemporaryDir data;
    HttpTestServer server;
    QByteArray right;
    QWidget mainWindow;
    std::unique_ptr<SessionLifecycle> lifecycle;
    std::unique_ptr<OpenTorrentURLPanel> panel;
};

TEST_F(OpenAddressTest, ShowsAFetchedTorrentOrSaysWhatFailed)
{
    const QByteArray hash = Metainfo::read(right)->infoHash;
    const QString magnet = "magnet:?xt=urn:btih:" + QString::fromLatin1(hash.toHex()) + "&dn=right";
    const struct {
        QString address;
        QString status;  // empty: the torrent `name` is shown
        bool cookiesOff = false;
        QString name = "right.iso";
        QString details = "3 MB";
    } cases[] = {
        {"http://files.example/right.torrent", ""},
        // Made by a current client: padding entries, two of one length on one path, are no files.
        {"http://files.example/padded.torrent", "", false, "payload", "3 files, 120 kB"},
        {"http://files.example/slow.torrent", ""},
        {"http://www.members.example/members.torrent", ""},
        {"http://www.members.example/members.torrent", "Could not fetch the torrent (status 403).", true},
        {"http://elsewhere.example/members.torrent", "Could not fetch the torrent (status 403)."},
        {"HTTP://files.example/right.torrent", ""},
        {"http://files.example/missing.torrent", "Could not fetch the torrent (status 404)."},
        {"http://files.example/page.html", "This is not a torrent file."},
        {"http://files.example/huge.torrent", "This is not a torrent file."},
        {"http://files.example/silent.torrent", "Could not fetch the torrent (no answer)."},
        {magnet, ""},
        {"magnet:?dn=nothing", "This is not a magnet link."},
    };
    server.route("/search", file("<html><a href='http://c.example/wrong.torrent'>w</a>"
                                 "<a href='http://c.example/right.torrent'>r</a></html>"));
    for (const auto& c : cases) {
        panel->reject();
        Settings::instance().setBool("kDisableCookies", c.cookiesOff);
        OBDefaults::loadDefaults();
        open(c.address);
        EXPECT_EQ(panel->statusLine()->text(), c.status) << qPrintable(c.address);
        EXPECT_EQ(panel->isExpanded(), c.status.isEmpty()) << qPrintable(c.address);
        EXPECT_EQ(panel->downloadButton()->isEnabled(), c.status.isEmpty()) << qPrintable(c.address);
        if (c.status.isEmpty()) {
            EXPECT_EQ(panel->torrentPathField()->text(), c.name);
            EXPECT_EQ(panel->torrentDetailsField()->text(), c.details);
        }
        const int frameHeight =
            c.status.isEmpty() ? OpenTorrentURLPanel::kExpandedHeight : OpenTorrentURLPanel::kCollapsedHeight;
        EXPECT_TRUE(waitUntil([&] { return panel->height() == frameHeight; })) << qPrintable(c.address);
        if (c.address.endsWith("right.torrent") && c.address.startsWith("http:"))
            panel->grab().save(picturePath("OMBRELAY_OPENADDRESS_EXPANDED_PNG", "openaddress-expanded.png"));
        if (c.address.endsWith("missing.torrent"))
            panel->grab().save(picturePath("OMBRELAY_OPENADDRESS_COLLAPSED_PNG", "openaddress-collapsed.png"));
    }
    // Fetched torrents are read where they arrived: nothing is written for them, least of all under the
    // server's names.
    const QDir temporary(AppPaths::temporaryDirectory());
    EXPECT_EQ(temporary.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    EXPECT_FALSE(QFile::exists(temporary.filePath("../../x.torrent")));
    EXPECT_FALSE(QFile::exists(temporary.filePath("x")));
}

TEST_F(OpenAddressTest, AMagnetLookupThatFailsStops)
{
    server.route("/search", HttpTestResponse{500, {}, "down"});
    open("magnet:?xt=urn:btih:" + QString(40, u'a'));
    EXPECT_EQ(panel->statusLine()->text(), "No torrent was found for this magnet link.");
    EXPECT_FALSE(panel->downloadButton()->isEnabled());
}

TEST_F(OpenAddressTest, DownloadListsAndSelectsOnce)
{
    for (int round = 0; round < 2; ++round) {
        open("http://files.example/right.torrent");
        ASSERT_TRUE(panel->torrent());
        QTest::keyClick(panel.get(), Qt::Key_Return);
        ASSERT_EQ(controller->objects().size(), 1) << round;
        EXPECT_EQ(controller->objects().first()->infoHash(), panel->torrent()->infoHash());
        EXPECT_EQ(controller->selectedObject(), controller->objects().first());
    }
}

// Every edit of the address returns the panel to the start; blanks around it are no edit.
TEST_F(OpenAddressTest, AnAddressEditedAndTypedBackIsFetchedAgain)
{
    const struct {
        Qt::Key typed;
        bool fetchedAgain;
    } cases[] = {{Qt::Key_X, true}, {Qt::Key_Space, false}};
    open("http://files.example/right.torrent");
    for (const auto& c : cases) {
        ASSERT_TRUE(panel->torrent());
        panel->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(panel.get()));
        ASSERT_EQ(QApplication::focusWidget(), panel->urlField());
        const int fetches = server.requestCount();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
        QTest::keyClick(QApplication::focusWidget(), c.typed);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);  // well within the typing pause
        ASSERT_TRUE(waitUntil([&] { return settled() && server.requestCount() == fetches + int(c.fetchedAgain); },
                              kSilenceMs + 10000)) << c.typed;
        spinFor(OpenTorrentURLPanel::kTypingPauseMs + 200);
        EXPECT_EQ(server.requestCount(), fetches + int(c.fetchedAgain)) << c.typed;
        EXPECT_TRUE(panel->torrent()) << c.typed;
        EXPECT_TRUE(panel->downloadButton()->isEnabled()) << c.typed;
        EXPECT_TRUE(panel->isExpanded()) << c.typed;
    }
}

TEST_F(OpenAddressTest, TakesOnlyAnAddressFromTheClipboard)
{
    const struct {
        QString clipboard;
        QString field;
    } cases[] = {
        {"  https://files.example/right.torrent \n", "https://files.example/right.torrent"},
        {"just words", ""},
        {"http://a.example/1\nhttp://a.example/2", ""},
        {"http://a.example/" + QString(70000, u'x'), ""},
    };
    for (const auto& c : cases) {
        panel->reject();
        QGuiApplication::clipboard()->setText(c.clipboard);
        panel->resetState();
        EXPECT_EQ(panel->urlField()->text(), c.field);
    }
}

}  // namespace
}  // namespace ombrelay::test
