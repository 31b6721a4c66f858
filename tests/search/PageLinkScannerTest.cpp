#include "search/PageLinkScanner.h"

#include <gtest/gtest.h>

namespace ombrelay::test {
namespace {

QStringList scan(const QString& page, const char* base = "http://host/dir/page")
{
    return PageLinkScanner::extractLinks(page, QUrl(QString::fromLatin1(base))).links;
}

TEST(PageLinkScanner, FindsTorrentLinksAsAttributesAreWritten)
{
    const std::pair<const char*, QStringList> cases[] = {
        {"<a HREF = 'a.torrent'>x</a>", {"http://host/dir/a.torrent"}},
        {"<a href=\"/b.torrent\">", {"http://host/b.torrent"}},
        {"<a href=x.torrent >x</a>", {"http://host/dir/x.torrent"}},
        {"<a href=x.torrent>link text</a>", {"http://host/dir/x.torrent"}},
        {"<a\nhref=\n'c.torrent'>", {"http://host/dir/c.torrent"}},
        {"<a href=\"http://other/d.torrent?a=1&amp;b=2.torrent\">", {"http://other/d.torrent?a=1&b=2.torrent"}},
        {"<a href=\"//cdn/e.torrent\">", {"http://cdn/e.torrent"}},
        {"<a href=\"https://s/f.torrent\">", {"https://s/f.torrent"}},
        {"<a href=\"ftp://s/g.torrent\"><a href=\"magnet:?x=h.torrent\"><a href=\"file:///i.torrent\">", {}},
        {"<a href=\"page.html\"><a href='a.torrent'><a href='a.torrent'>", {"http://host/dir/a.torrent"}},
        {"<a href=\"unterminated.torrent", {}},
        {"<a href=\"open.torrent <a href='next.torrent'>", {"http://host/dir/next.torrent"}},
        {"href", {}},
        {"", {}},
    };
    for (const auto& [page, links] : cases)
        EXPECT_EQ(scan(QString::fromUtf8(page)), links) << page;
}

TEST(PageLinkScanner, KeepsAtMostTheLimitOfDistinctLinks)
{
    QString page;
    for (int i = 0; i < 12; ++i)
        page += QStringLiteral("<a href='%1.torrent'><a href='0.torrent'>").arg(i);
    const PageLinkScanner::Result some = PageLinkScanner::extractLinks(page, QUrl(QStringLiteral("http://h/")), 10);
    EXPECT_EQ(some.links.size(), 10);
    EXPECT_TRUE(some.truncated);
    const PageLinkScanner::Result all = PageLinkScanner::extractLinks(page, QUrl(QStringLiteral("http://h/")), 12);
    EXPECT_EQ(all.links.size(), 12);
    EXPECT_FALSE(all.truncated);
}

}  // namespace
}  // namespace ombrelay::test
