// The web pane's texts and rules that need no page: titles, typed locations, status texts, which
// addresses a tab loads, which downloads are torrents, the proxy switches and the browser's name.
#include "app/toolbar/RSSToolbarButton.h"
#include "app/web/DefaultBrowser.h"
#include "app/web/WebProfile.h"
#include "app/web/WebProxy.h"
#include "app/web/WebText.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace ombrelay::test {
namespace {

TEST(WebText, Titles)
{
    struct Case { QString first; bool canGoBack; QString page; QString address; QString expect; };
    const QString longTitle(400, QChar(u'a'));
    const Case cases[] = {
        {"Site", false, "Page", "http://www.s.test/", "Site"},
        {"Site", true, "  Page \n", "http://www.s.test/", "Page"},
        {"", false, "", "http://www.s.test/a", "s.test"},
        {"", false, "", "http://wwwx.test/", "wwwx.test"},
        {"", false, QString::fromUtf8("\u202eevil\u202c\x01 name"), "http://s.test/", "evil name"},
        {"", false, "", "about:blank", "Untitled"},
        {"", false, longTitle, "http://s.test/", QString(299, QChar(u'a')) + QChar(0x2026)},
        // The engine's title for a page without one is its address as shown.
        {"", false, "www.wordy.com", "http://www.wordy.com/", "wordy.com"},
        {"", false, "feeds.test/atom.xml", "http://feeds.test/atom.xml", "feeds.test"},
        {"", true, "https://s.test/a b?q=1#f", "https://user:pw@s.test/a%20b?q=1#f", "s.test"},
        {"", false, "other.test", "http://www.s.test/", "other.test"},
        {"", false, "s.test/b", "http://s.test/a", "s.test/b"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WebText::title(c.first, c.canGoBack, c.page, QUrl(c.address)), c.expect) << c.page.toStdString();
}

TEST(WebText, TypedLocations)
{
    struct Case { QString typed, expect; };
    const Case cases[] = {
        {"apple", "http://www.apple.com"},
        {"  httpbin.org/get ", "http://httpbin.org/get"},
        {"HTTPS://s.test/x", "https://s.test/x"},
        {"http://s.test/", "http://s.test/"},
        {"javascript:alert(1)", ""},  // "http://javascript:alert(1)": no valid port
        {"", ""},
        {"http://", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WebText::completedLocation(c.typed).toString(), c.expect) << c.typed.toStdString();
}

TEST(WebText, StatusTexts)
{
    struct Case { QString link; bool browserKey, newTabKey; QString expect; };
    const Case cases[] = {
        {"http://s.test/a", false, false, "http://s.test/a"},
        {"http://s.test/a", false, true, "Open in new tab: http://s.test/a"},
        {"http://s.test/a", true, true, "Open in Browsy: http://s.test/a"},
        {"JavaScript:void(0)", true, false, ""},
        {"javascript:x()", false, false, ""},
        {"", false, true, ""},
        {QString::fromUtf8("http://s.test/\u202e\nx"), false, false, "http://s.test/x"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WebText::statusText(c.link, c.browserKey, c.newTabKey, "Browsy"), c.expect) << c.link.toStdString();
}

TEST(WebText, OnlyWebAddressesLoad)
{
    struct Case { QString address, loads; };
    const Case cases[] = {
        {"http://s.test/", "http://s.test/"},
        {"HTTPS://s.test/", "https://s.test/"},
        {"file:///etc/passwd", "about:blank"},
        {"magnet:?xt=urn:btih:00", "about:blank"},
        {"ombrelaysearch:q", "about:blank"},
        {"javascript:alert(1)", "about:blank"},
        {"", "about:blank"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WebText::loadableAddress(QUrl(c.address)).toString(), c.loads) << c.address.toStdString();
}

TEST(WebText, TorrentDownloads)
{
    struct Case { QString mime, name; bool torrent; };
    const Case cases[] = {
        {"application/x-bittorrent", "download", true},
        {"Application/X-BitTorrent; charset=binary", "", true},
        {"application/octet-stream", "x.torrent", true},
        {"text/html", "X.TORRENT", true},
        {"application/octet-stream", "x.zip", false},
        {"application/x-bittorrent-not", "x.torrents", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WebProfile::isTorrent(c.mime, c.name), c.torrent) << c.mime.toStdString();
}

TEST(WebText, RssDocuments)
{
    struct Case { QString type, text; bool rss; };
    const Case cases[] = {
        {"application/rss+xml", "", true},
        {"Application/RSS+XML; charset=utf-8", "", true},
        {"text/plain", "<?xml version='1.0'?>\n<!-- c -->\n<rss version='2.0'><channel/></rss>", true},
        {"text/plain", "  <rss>", true},
        {"text/plain", "<rssx>", false},
        {"text/plain", "some words <rss>", false},
        {"text/html", "<rss>", false},
        {"application/atom+xml", "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WebText::isRssDocument(c.type, c.text), c.rss) << c.type.toStdString() << " " << c.text.toStdString();
}

TEST(WebText, ProxySwitchesFollowTheLoadersVariables)
{
    struct Case { QStringList variables; QByteArray expect; };
    const Case cases[] = {
        {{}, ""},
        {{"http_proxy=http://127.0.0.1:8080"}, "--proxy-server=http=127.0.0.1:8080"},
        {{"HTTP_PROXY=127.0.0.1:3128", "https_proxy=http://127.0.0.2:81", "no_proxy=.a.test, b.test"},
         "--proxy-server=http=127.0.0.1:3128;https=127.0.0.2:81 --proxy-bypass-list=a.test,*.a.test,b.test,*.b.test"},
        {{"http_proxy=http://127.0.0.1:8080", "no_proxy=*"}, ""},
        {{"http_proxy=x y;z"}, ""},
    };
    for (const Case& c : cases) {
        QProcessEnvironment environment;
        for (const QString& variable : c.variables)
            environment.insert(variable.section('=', 0, 0), variable.section('=', 1));
        EXPECT_EQ(WebProxy::chromiumFlags(environment), c.expect) << c.variables.join(' ').toStdString();
    }
}

TEST(WebText, FeedLinksTheSubscribeButtonTakes)
{
    struct Case { QString href; bool taken; };
    const Case cases[] = {
        {"http://s.test/rss", true},
        {"HTTPS://s.test/rss", true},
        {"feed://s.test/rss", true},
        {"javascript:alert(1)", false},
        {"file:///etc/passwd", false},
        {"", false},
        {"http://s.test/" + QString(8200, QChar(u'a')), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RSSToolbarButton::feedAddressFromHref(c.href).isValid(), c.taken) << c.href.left(40).toStdString();
}

TEST(WebText, BrowserNameFromMimeapps)
{
    QTemporaryDir dir;
    auto write = [&](const QString& name, const QByteArray& text) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return file.fileName();
    };
    const QString none = write("none.list", "[Added Associations]\nx-scheme-handler/http=other.desktop;\n");
    const QString named = write("named.list", "[Default Applications]\ntext/html=a.desktop\nx-scheme-handler/http=browsy.desktop;b.desktop;\n");
    EXPECT_EQ(DefaultBrowser::nameFromFiles({none, dir.filePath("missing"), named}), "browsy");
    EXPECT_EQ(DefaultBrowser::nameFromFiles({none}), "");
    EXPECT_FALSE(DefaultBrowser::open(QUrl("file:///etc/passwd")));
}

}  // namespace
}  // namespace ombrelay::test
