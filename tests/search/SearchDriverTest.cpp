#include "engine/torrent/Metainfo.h"
#include "kit/TextHelpers.h"
#include "search/SearchFixture.h"
#include "support/WaitUntil.h"

#include <QProcess>

#include <algorithm>

namespace ombrelay::test {
namespace {

class SearchDriverTest : public SearchTest
{
protected:
    // Runs the driver to its end, through the test proxy unless told otherwise: its exit code (-1 when it
    // crashed); its output lines, split at tabs, are kept.
    int run(const QStringList& arguments, bool throughProxy = true)
    {
        QStringList all{"--data", tempPath("driver"), "--timeout", "20"};
        if (throughProxy)
            all << "--proxy" << proxy.url("").toString();
        QProcess driver;
        driver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        driver.start(QStringLiteral(OMBRELAY_SEARCH_DRIVER), all + arguments);
        EXPECT_TRUE(waitUntil([&] { return driver.state() == QProcess::NotRunning; }, 30000));
        lines.clear();
        for (const QByteArray& line : driver.readAllStandardOutput().split('\n'))
            if (!line.isEmpty())
                lines.append(QString::fromUtf8(line).split(QLatin1Char('\t')));
        return driver.exitStatus() == QProcess::NormalExit ? driver.exitCode() : -1;
    }

    QList<QStringList> linesOf(const QString& kind) const
    {
        QList<QStringList> found;
        for (const QStringList& line : lines)
            if (line.value(0) == kind)
                found.append(line);
        return found;
    }

    QList<QStringList> lines;
};

TEST_F(SearchDriverTest, ListsOneResultPerTorrentWithSwarmSizes)
{
    const QByteArray a = torrentBytes("alpha", "http://tracker.test/announce");
    const QString hashA = hexString(Metainfo::read(a)->infoHash);
    proxy.route("one.test", "/find", page("<a href='/t/a.torrent'></a><a href=http://two.test/b.torrent>b</a>"));
    proxy.route("two.test", "/find", page("<a href='http://one.test/t/a.torrent'></a>"));
    proxy.route("one.test", "/t/a.torrent", torrentFile(a));
    proxy.route("two.test", "/b.torrent", torrentFile(torrentBytes("beta")));
    proxy.route("tracker.test", "/scrape", [&](const HttpTestRequest&) {
        const QByteArray key = "20:" + Metainfo::read(a)->infoHash;
        return HttpTestResponse{200, {}, "d5:filesd" + key + "d8:completei7e10:incompletei3eeee"};
    });
    EXPECT_EQ(run({"--site", "One=http://one.test/find?q=%@", "--site", "Two=http://two.test/find?q=%@", "--scrape",
                   "--query", "a b"}), 0);
    // result, site, info hash, size, address, name
    QList<QStringList> results = linesOf("result");
    std::sort(results.begin(), results.end(), [](const auto& x, const auto& y) { return x.value(5) < y.value(5); });
    ASSERT_EQ(results.size(), 2);
    EXPECT_EQ(results[0].mid(2), (QStringList{hashA, "1000", "http://one.test/t/a.torrent", "alpha"}));
    EXPECT_EQ(results[1].size(), 6);
    EXPECT_EQ(results[1].value(1), "One");
    EXPECT_EQ(results[1].value(3), "1000");
    EXPECT_EQ(results[1].value(5), "beta");
    EXPECT_EQ(linesOf("page").size(), 2);
    EXPECT_EQ(linesOf("done"), (QList<QStringList>{{"done", "2"}}));
    EXPECT_EQ(linesOf("swarm"), (QList<QStringList>{{"swarm", hashA, "7", "3"}}));
    ASSERT_EQ(linesOf("stall").size(), 1);
    // Every request came to the loopback proxy, in absolute form for the named hosts.
    EXPECT_EQ(proxy.requestCount(), 5);
    for (const HttpTestRequest& r : proxy.requests())
        EXPECT_TRUE(r.isAbsoluteForm()) << r.target.constData();
}

TEST_F(SearchDriverTest, RefusesOutsideHostsWithoutALoopbackProxyAndReportsNoSitesOrNoMatch)
{
    EXPECT_EQ(run({"--site", "Out=http://example.test/?q=%@", "--query", "x"}, false), 1);
    EXPECT_EQ(run({"--proxy", "http://10.1.2.3:8080", "--query", "x"}, false), 1);
    EXPECT_EQ(run({"--query", "x"}), 3);
    EXPECT_EQ(run({"--magnet", "magnet:?xt=urn:btih:" + QString(40, QLatin1Char('a'))}), 4);
    EXPECT_EQ(linesOf("nomatch").size(), 1);
    EXPECT_EQ(proxy.requestCount(), 1);  // the hash lookup only
}

}  // namespace
}  // namespace ombrelay::test
