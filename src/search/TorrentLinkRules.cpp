#include "search/TorrentLinkRules.h"

#include "kit/ServiceAddresses.h"

#include <QUrl>

namespace ombrelay {
namespace {

using namespace service;

QString site(const char* host, const char* path = "")
{
    return QStringLiteral("http://") + QLatin1String(host) + QLatin1String(path);
}

// A path part as it goes into a new address: escaped, so that a decoded "?", "#" or "/" stays inside it.
QString part(const QString& text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

// The path split at "/" before decoding, so that an escaped "/" stays inside its part.
QStringList pathParts(const QString& address, const QString& without = {})
{
    QStringList parts;
    for (const QString& raw : QUrl(address).path(QUrl::FullyEncoded).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        const QString decoded = QUrl::fromPercentEncoding(raw.toLatin1());
        if (decoded != without)
            parts.append(decoded);
    }
    return parts;
}

struct Prefixes
{
    QStringList unchanged{site(kRuleHostA, "/files/download/"), site(kRuleHostB, "/get/"),
                          site(kRuleHostC, "/download.php"), site(kRuleHostD, "/get/"),
                          site(kRuleHostE, "/torrent/"), site(kRuleHostG, "/download/"),
                          site(kRuleHostH, "/torrents/")};
    QString hostF = site(kRuleHostF);
    QString hostI = site(kRuleHostI);
    QString hostJTorrents = site(kRuleHostJ, "/torrents/");
    QString hostKTorrent = site(kRuleHostK, "/torrent/");
    QString hostLTorrent = site(kRuleHostL, "/torrent");
    QString hostMDetails = QLatin1String(kRuleHostM) + QStringLiteral("/torrent_details");
    QString hostNTorrent = QLatin1String(kRuleHostN) + QStringLiteral("/torrent");
    QString hostP = site(kRuleHostP);
    QString hostQ = site(kRuleHostQ);
    QString hostR = site(kRuleHostR);
    QString hostS = site(kRuleHostS);
};

const Prefixes& prefixes()
{
    static const Prefixes p;
    return p;
}

// The structured rules: a detail page's path parts become a download address; null when no rule's
// shape fits.
QString structuredAddress(const QString& address)
{
    const Prefixes& p = prefixes();
    if (address.startsWith(p.hostLTorrent)) {
        const QStringList parts = pathParts(address);
        if (parts.size() >= 3 && parts.at(0) == QLatin1String("torrent"))
            return site(kRuleDownloadHostL) + QLatin1Char('/') + part(parts.at(1)) + QLatin1Char('/') + part(parts.at(2))
                + QStringLiteral(".TPB.torrent");
    }
    if (address.contains(p.hostMDetails)) {
        const QStringList parts = pathParts(address, QStringLiteral("torrent_details"));
        if (parts.size() == 2)
            return site(kRuleHostM, "/download/") + part(parts.at(0)) + QLatin1Char('/') + part(parts.at(1))
                + QStringLiteral(".torrent");
    }
    if (address.contains(p.hostNTorrent)) {
        const QStringList parts = pathParts(address, QStringLiteral("torrent"));
        if (parts.size() == 2)
            return site(kRuleDownloadHostN, "/torrent/") + part(parts.at(0)) + QLatin1Char('/') + part(parts.at(1))
                + QStringLiteral("/download.torrent");
    }
    if (address.contains(QLatin1String(kRuleDomainO))) {
        const QStringList parts = pathParts(address, QStringLiteral("torrent"));
        if (!parts.isEmpty())
            return site(kRuleHostO, "/down/") + part(parts.at(0)) + QStringLiteral(".torrent");
    }
    return {};
}

void rewritePrefix(QString& address, const QString& host, const QString& from, const QString& to)
{
    if (address.startsWith(host))
        address.replace(host + from, host + to);
}

bool hasTorrentExtension(const QString& address)
{
    const qsizetype dot = address.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || address.size() - dot - 1 != 7)
        return false;
    const QStringView extension = QStringView(address).mid(dot + 1);
    return extension.compare(QLatin1String("torrent"), Qt::CaseInsensitive) == 0
        || extension.compare(QLatin1String("tstream"), Qt::CaseInsensitive) == 0;
}

}  // namespace

const QStringList& TorrentLinkRules::substringsToIgnore()
{
    static const QStringList ignored{QStringLiteral("q=related"), QLatin1String(kWebSearchCacheHost),
                                     QLatin1String(kLinkFarmHostA), QLatin1String(kLinkFarmHostB),
                                     QLatin1String(kLinkFarmHostC)};
    return ignored;
}

QString TorrentLinkRules::torrentAddressFromAddress(const QString& original)
{
    for (const QString& text : substringsToIgnore())
        if (original.contains(text))
            return {};
    const Prefixes& p = prefixes();
    for (const QString& prefix : p.unchanged)
        if (original.startsWith(prefix))
            return original;
    if (original.startsWith(p.hostF) && original.contains(QLatin1String("torrent.do?info_hash")))
        return original;

    if (original.startsWith(p.hostI))
        return QString(original).replace(QStringLiteral("/details/"), QStringLiteral("/download/"));
    if (original.startsWith(p.hostJTorrents))
        return QString(original).replace(QStringLiteral("/torrents/"), QStringLiteral("/get/")) + QStringLiteral(".torrent");
    if (original.startsWith(p.hostKTorrent))
        return QString(original).replace(QStringLiteral("/torrent/"), QStringLiteral("/download/"));

    const QString structured = structuredAddress(original);
    if (!structured.isNull())
        return structured;

    QString address = original;
    rewritePrefix(address, p.hostP, QStringLiteral("/"), QStringLiteral("/file/"));
    rewritePrefix(address, p.hostQ, QStringLiteral("/torrent_download"), QStringLiteral("/download"));
    rewritePrefix(address, p.hostR, QStringLiteral("/torrent"), QStringLiteral("/download"));
    rewritePrefix(address, p.hostS, QStringLiteral("/torrent"), QStringLiteral("/download"));
    return hasTorrentExtension(address) ? address : QString();
}

}  // namespace ombrelay
