#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <QUrl>

namespace ombrelay {

// Finds the torrent links of a web page by a plain scan for "href" attributes: each value (quoted, or
// unquoted up to a blank or ">") has its character references decoded, is resolved against the page's
// address, and is kept when it is an absolute http or https address that the torrent-link rules accept.
// Linear in the page's length; pure and thread-safe.
class PageLinkScanner
{
public:
    struct Result
    {
        QStringList links;       // distinct, in page order
        bool truncated = false;  // more distinct links than asked for were on the page
    };

    static constexpr int kMaxLinksPerPage = 500;

    static Result extractLinks(QStringView text, const QUrl& pageAddress, int maxLinks = kMaxLinksPerPage);
    // The value resolved against the page as an absolute http or https address; null otherwise.
    static QString absoluteAddress(const QString& value, const QUrl& pageAddress);
};

}  // namespace ombrelay
