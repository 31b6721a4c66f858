#include "kit/ServiceAddresses.h"
#include "search/TorrentLinkRules.h"

#include <gtest/gtest.h>

namespace ombrelay::test {
namespace {

using namespace service;

QString at(const char* host, const char* rest)
{
    return QStringLiteral("http://") + QLatin1String(host) + QString::fromUtf8(rest);
}

// Address, torrent address (null: not a torrent link).
using Case = std::pair<QString, QString>;

void check(const QList<Case>& cases)
{
    for (const auto& [address, expected] : cases)
        EXPECT_EQ(TorrentLinkRules::torrentAddressFromAddress(address), expected) << qPrintable(address);
}

TEST(TorrentLinkRules, PrefixesKeepTheAddress)
{
    QList<Case> cases;
    const QList<QString> kept{at(kRuleHostA, "/files/download/12"), at(kRuleHostB, "/get/x"),
                              at(kRuleHostC, "/download.php?id=3"), at(kRuleHostD, "/get/y"),
                              at(kRuleHostE, "/torrent/4"), at(kRuleHostF, "/x/torrent.do?info_hash=ab"),
                              at(kRuleHostG, "/download/5"), at(kRuleHostH, "/torrents/6")};
    for (const QString& address : kept)
        cases.append({address, address});
    cases.append({at(kRuleHostF, "/x/other.do?id=1"), {}});
    cases.append({at(kRuleHostB, "/details/x"), {}});
    check(cases);
}

TEST(TorrentLinkRules, RewritesOfDetailPages)
{
    check({
        {at(kRuleHostI, "/details/7/a"), at(kRuleHostI, "/download/7/a")},
        {at(kRuleHostJ, "/torrents/8"), at(kRuleHostJ, "/get/8.torrent")},
        {at(kRuleHostK, "/torrent/9/b"), at(kRuleHostK, "/download/9/b")},
        {at(kRuleHostL, "/torrent/123/Some_Name"), at(kRuleDownloadHostL, "/123/Some_Name.TPB.torrent")},
        {at(kRuleHostL, "/torrent/123"), {}},
        {at(kRuleHostM, "/torrent_details/55/name.html"), at(kRuleHostM, "/download/55/name.html.torrent")},
        {at(kRuleHostM, "/torrent_details/55"), {}},
        {at(kRuleHostN, "/torrent/66/title"), at(kRuleDownloadHostN, "/torrent/66/title/download.torrent")},
        {at(kRuleHostN, "/torrent/66/title/more"), {}},
        {at(kRuleHostO, "/torrent/77"), at(kRuleHostO, "/down/77.torrent")},
        {at(kRuleDomainO, "/torrent"), {}},
        {at(kRuleHostP, "/x.torrent"), at(kRuleHostP, "/file/x.torrent")},
        {at(kRuleHostQ, "/torrent_download/1/x.torrent"), at(kRuleHostQ, "/download/1/x.torrent")},
        {at(kRuleHostR, "/torrent/1/y.torrent"), at(kRuleHostR, "/download/1/y.torrent")},
        {at(kRuleHostS, "/torrent/1/z.torrent"), at(kRuleHostS, "/download/1/z.torrent")},
        {at(kRuleHostR, "/torrent/1/page.html"), {}},
    });
}

TEST(TorrentLinkRules, DecodedPathPartsCannotReshapeTheNewAddress)
{
    check({
        {at(kRuleHostL, "/torrent/1/a%3Fb%23c%2Fd"), at(kRuleDownloadHostL, "/1/a%3Fb%23c%2Fd.TPB.torrent")},
        {at(kRuleHostM, "/torrent_details/2/x%3Fy"), at(kRuleHostM, "/download/2/x%3Fy.torrent")},
        {at(kRuleHostO, "/torrent/%2F..%2Fz"), at(kRuleHostO, "/down/%2F..%2Fz.torrent")},
    });
}

TEST(TorrentLinkRules, ExtensionAndIgnoreList)
{
    check({
        {QStringLiteral("http://host/file.TORRENT"), QStringLiteral("http://host/file.TORRENT")},
        {QStringLiteral("http://host/file.tstream"), QStringLiteral("http://host/file.tstream")},
        {QStringLiteral("http://host/file.torrent?x=1"), {}},
        {QStringLiteral("http://host/file.torrent2"), {}},
        {QStringLiteral("http://host/torrent"), {}},
        {QStringLiteral("http://host/x?q=related&f=a.torrent"), {}},
    });
    for (const QString& ignored : TorrentLinkRules::substringsToIgnore()) {
        EXPECT_TRUE(TorrentLinkRules::torrentAddressFromAddress(QStringLiteral("http://") + ignored + QStringLiteral("/a.torrent")).isNull());
        EXPECT_TRUE(TorrentLinkRules::torrentAddressFromAddress(at(kRuleHostA, "/files/download/?") + ignored).isNull());
    }
}

}  // namespace
}  // namespace ombrelay::test
