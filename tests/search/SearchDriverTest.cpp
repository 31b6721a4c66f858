#include "engine/torrent/Metainfo.h"
#include "kit/TextHelpers.h"
#include "search/SearchFixture.h"
#include "support/WaitUntil.h"

#include <QProcess>

namespace ombrelay::test {
namespace {

class SearchDriverTest : public SearchTest
{
protected:
    // Runs the driver to its end; its output lines split at tabs.
    QList<QStringList> run(const QStringList& arguments, int* exitCode)
    {
        QProcess driver;
        driver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        driver.start(QStringLiteral(OMBRELAY_SEARCH_DRIVER),
                     QStringList{QStringLiteral("--data"), tempPath(QStringLiteral("driver")), QStringLiteral("--timeout"),
                                 QStringLiteral("20")} + arguments);
        EXPECT_TRUE(waitUntil([&] { return driver.state() == QProcess::NotRunning; }, 30000));
        *exitCode = driver.exitStatus() == QProcess::NormalExit ? driver.exitCode() : -1;
        QList<QStringList> lines;
        for (const QByteArray& line : driver.readAllStandardOutput().split('\n'))
            if (!line.isEmpty())
                lines.append(QString::fromUtf8(line).split(QLatin1Char('\t')));
        return lines;
    }

    QStringList proxyArguments() const
    {
        return {QStringLiteral("--proxy"), proxy.url("").toString()};
    }

    static QList<QStringList> linesOf(const QList<QStringList>& lines, const QString& kind)
    {
        QList<QStringList> found;
        for (const QStringList& line : lines)
            if (line.value(0) == kind)
                found.append(line);
        return found;
    }
};

TEST_F(SearchDriverTest, ListsOneResultPerTorrentWithSwarmSizes)
{
    const QByteArray a = torrentBytes("alpha", "http://tracker.test/announce");
    const QByteArray hashA = Metainfo::read(a)->infoHash;
    proxy.route("one.test", "/find", page("<a href='/t/a.torrent'></a><a href=http://two.test/b.torrent>b</a>"));
    proxy.route("two.test", "/find", page("<a href='http://one.test/t/a.torrent'></a>"));
    proxy.route("one.test", "/t/a.torrent", torrentFile(a));
    proxy.route("two.test", "/b.torrent", torrentFile(torrentBytes("beta")));
    proxy.route("tracker.test", "/scrape", [&](const HttpTestRequest&) {
        const QByteArray key = "20:" + hashA;
        return HttpTestResponse{200, {}, "d5:filesd" + key + "d8:completei7e10:incompletei3eeee"};
    });
    int exitCode = -1;
    const QList<QStringList> lines = run(proxyArguments() + QStringList{
        QStringLiteral("--site"), QStringLiteral("One=http://one.test/find?q=%@"),
        QStringLiteral("--site"), QStringLiteral("Two=http://two.test/find?q=%@"),
        QStringLiteral("--scrape"), QStringLiteral("--query"), QStringLiteral("a b")}, &exitCode);
    EXPECT_EQ(exitCode, 0);
    const QList<QStringList> results = linesOf(lines, QStringLiteral("result"));
    ASSERT_EQ(results.size(), 2);
    for (const QStringList& r : results) {
        ASSERT_EQ(r.size(), 6);
        EXPECT_EQ(r.at(3), QStringLiteral("1000"));
        if (r.at(5) == QLatin1String("alpha")) {
            EXPECT_EQ(r.at(2), hexString(hashA));
            EXPECT_EQ(r.at(4), QStringLiteral("http://one.test/t/a.torrent"));
        } else {
            EXPECT_EQ(r.at(5), QStringLiteral("beta"));
            EXPECT_EQ(r.at(1), QStringLiteral("One"));
        }
    }
    EXPECT_EQ(linesOf(lines, QStringLiteral("page")).size(), 2);
    EXPECT_EQ(linesOf(lines, QStringLiteral("done")), (QList<QStringList>{{QStringLiteral("done"), QStringLiteral("2")}}));
    EXPECT_EQ(linesOf(lines, QStringLiteral("swarm")),
              (QList<QStringList>{{QStringLiteral("swarm"), hexString(hashA), QStringLiteral("7"), QStringLiteral("3")}}));
    ASSERT_EQ(linesOf(lines, QStringLiteral("stall")).size(), 1);
    // Every request came to the loopback proxy, in absolute form for the named hosts.
    EXPECT_EQ(proxy.requestCount(), 5);
    for (const HttpTestRequest& r : proxy.requests())
        EXPECT_TRUE(r.isAbsoluteForm()) << r.target.constData();
}

TEST_F(SearchDriverTest, RefusesOutsideHostsWithoutALoopbackProxyAndReportsNoSitesOrNoMatch)
{
    int exitCode = -1;
    run({QStringLiteral("--site"), QStringLiteral("Out=http://example.test/?q=%@"), QStringLiteral("--query"),
         QStringLiteral("x")}, &exitCode);
    EXPECT_EQ(exitCode, 1);
    run({QStringLiteral("--proxy"), QStringLiteral("http://10.1.2.3:8080"), QStringLiteral("--query"), QStringLiteral("x")},
        &exitCode);
    EXPECT_EQ(exitCode, 1);
    run(proxyArguments() + QStringList{QStringLiteral("--query"), QStringLiteral("x")}, &exitCode);
    EXPECT_EQ(exitCode, 3);
    const QList<QStringList> lines = run(proxyArguments() + QStringList{
        QStringLiteral("--magnet"), QStringLiteral("magnet:?xt=urn:btih:") + QString(40, QLatin1Char('a'))}, &exitCode);
    EXPECT_EQ(exitCode, 4);
    EXPECT_EQ(linesOf(lines, QStringLiteral("nomatch")).size(), 1);
    EXPECT_EQ(proxy.requestCount(), 1);  // the hash lookup only
}

}  // namespace
}  // namespace ombrelay::test
