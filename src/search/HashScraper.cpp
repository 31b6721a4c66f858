#include "search/HashScraper.h"

#include "kit/PerformLater.h"
#include "kit/ServiceAddresses.h"
#include "kit/TextHelpers.h"
#include "kit/XmlDocument.h"
#include "search/PageLinkScanner.h"
#include "search/PageScraper.h"
#include "search/TorrentLinkRules.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSet>
#include <QThreadPool>
#include <cstdio>

namespace ombrelay {

HashScraper::HashScraper(const QByteArray& infoHash, QObject* parent)
    : PZHTTPLoader(parent), m_infoHash(infoHash)
{
    if (infoHash.size() != 20)
        PerformLater::schedule(this, [this] { complete(); });
    else
        loadURL(lookupAddress(infoHash));
}

QUrl HashScraper::lookupAddress(const QByteArray& infoHash)
{
    return QUrl(QStringLiteral("http://") + QLatin1String(service::kWebSearchHost) + QStringLiteral("/search?q=")
                + hexString(infoHash));
}

bool HashScraper::isValidAddress(const QString& address)
{
    return !address.contains(QLatin1String(service::kWebSearchDomain))
        && !address.contains(QLatin1String(service::kVideoSiteDomain))
        && !address.contains(QLatin1String("search?q=cache"));
}

QStringList HashScraper::linksFromElement(const XmlElement& element, const QUrl& base)
{
    QStringList links;
    QList<XmlElement> stack{element};
    while (!stack.isEmpty()) {
        const XmlElement node = stack.takeLast();
        if (node.isNull())
            continue;
        if (node.name() == QLatin1String("a")) {
            const QString href = node.stringForAttribute(QStringLiteral("href"));
            if (!href.isEmpty()) {
                const QString address = PageLinkScanner::absoluteAddress(href, base);
                if (!address.isNull() && isValidAddress(address))
                    links.append(address);
            }
        }
        const QList<XmlElement> children = node.childElements();
        for (auto it = children.crbegin(); it != children.crend(); ++it)
            stack.append(*it);
    }
    return links;
}

void HashScraper::handleCompletion()
{
    QPointer<HashScraper> guard(this);
    QThreadPool::globalInstance()->start([guard, bytes = data(), page = url()] {
        const XmlDocument document = XmlDocument::parse(bytes, XmlDocument::Syntax::Html, kPageBodyCap);
        const QStringList links = linksFromElement(document.rootElement(), page);
        QMetaObject::invokeMethod(QCoreApplication::instance(), [guard, links] {
            if (guard)
                guard->followLinks(links);
        }, Qt::QueuedConnection);
    });
}

void HashScraper::followLinks(const QStringList& links)
{
    QSet<QString> pages;
    bool capLogged = false;
    for (const QString& link : links) {
        const QString torrent = TorrentLinkRules::torrentAddressFromAddress(link);
        if (!torrent.isNull()) {
            handOn(torrent);
            continue;
        }
        if (pages.contains(link))
            continue;
        if (pages.size() >= kMaxPages) {
            if (!capLogged)
                fprintf(stderr, "*** Hash lookup: more than %d pages to scan; the rest are ignored\n", kMaxPages);
            capLogged = true;
            continue;
        }
        pages.insert(link);
        auto* page = new PageScraper(QUrl(link), {}, this);
        connect(page, &PageScraper::finished, this, &HashScraper::handlePageScraperCompletion);
        m_siteScrapers.append(page);
    }
    if (m_siteScrapers.isEmpty())
        complete();
}

void HashScraper::handleError()
{
    complete();
}

void HashScraper::handOn(const QString& address)
{
    if (m_completed || m_handedOn.contains(address))
        return;
    m_handedOn.insert(address);
    emit potentialResult(address);
}

void HashScraper::handlePageScraperCompletion(PageScraper* page)
{
    if (!m_siteScrapers.removeOne(page))
        return;
    for (const QString& link : page->torrentLinks())
        handOn(link);
    page->deleteLater();
    if (m_siteScrapers.isEmpty())
        complete();
}

void HashScraper::complete()
{
    if (m_completed)
        return;
    m_completed = true;
    emit didComplete();
}

}  // namespace ombrelay
