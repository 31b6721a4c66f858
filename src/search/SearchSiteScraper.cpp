#include "search/SearchSiteScraper.h"

#include "engine/torrent/Metainfo.h"
#include "kit/ServiceAddresses.h"
#include "kit/TextHelpers.h"
#include "search/FileDownloader.h"
#include "search/PageScraper.h"
#include "search/QueryController.h"
#include "search/SearchSites.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>
#include <cstdio>

namespace ombrelay {
namespace {

QString siteText(const QVariantMap& site, const char* key)
{
    return site.value(QLatin1String(key)).toString();
}

}  // namespace

SearchSiteScraper::SearchSiteScraper(const QVariantMap& site, QueryController* controller)
    : QObject(controller), m_site(site), m_controller(controller)
{
}

SearchSiteScraper::~SearchSiteScraper()
{
    stop();
}

bool SearchSiteScraper::searchesLike(const QVariantMap& site) const
{
    for (const char* key : {"identifier", "googleQuery", "url"}) {
        if (m_site.contains(QLatin1String(key)) != site.contains(QLatin1String(key))
            || siteText(m_site, key) != siteText(site, key))
            return false;
    }
    return m_site.value(QStringLiteral("urls")).toStringList() == site.value(QStringLiteral("urls")).toStringList()
        && siteText(m_site, "httpPost").toLongLong() == siteText(site, "httpPost").toLongLong();
}

bool SearchSiteScraper::isSERPScraper() const
{
    return siteText(m_site, "identifier") == QLatin1String("google");
}

bool SearchSiteScraper::isActive() const
{
    return !m_pageScrapers.isEmpty() || !m_downloaders.isEmpty() || m_pendingDecodes > 0;
}

QUrl SearchSiteScraper::urlByAddingSearchQueryToAddress(const QString& pattern) const
{
    return SearchSites::addressFromText(SearchSites::filledTemplate(pattern, m_controller->query()));
}

QUrl SearchSiteScraper::googleAddressWithStartIndex(int offset) const
{
    return SearchSites::addressFromText(QStringLiteral("http://") + QLatin1String(service::kWebSearchHost)
                                        + QStringLiteral("/search?q=") + escapedString(m_controller->query())
                                        + siteText(m_site, "googleQuery") + QStringLiteral("&start=")
                                        + QString::number(offset));
}

QUrl SearchSiteScraper::externalURL() const
{
    if (m_site.contains(QStringLiteral("googleQuery")))
        return googleAddressWithStartIndex(0);
    const QStringList urls = m_site.value(QStringLiteral("urls")).toStringList();
    if (!urls.isEmpty())
        return urlByAddingSearchQueryToAddress(urls.first());
    if (m_site.contains(QStringLiteral("url")))
        return urlByAddingSearchQueryToAddress(siteText(m_site, "url"));
    return {};
}

void SearchSiteScraper::dropPageScrapers()
{
    for (PageScraper* page : std::exchange(m_pageScrapers, {})) {
        page->disconnect(this);
        page->killConnection();
        page->deleteLater();
    }
}

void SearchSiteScraper::beginScrape()
{
    dropPageScrapers();
    m_fetchesThisRound = 0;
    m_fetchCapLogged = false;
    const bool post = siteText(m_site, "httpPost").toLongLong() != 0;
    if (m_site.contains(QStringLiteral("googleQuery"))) {
        m_startIndex = 0;
        m_endIndex = kLastPageOffset;
        launchScraper(googleAddressWithStartIndex(0), post ? QByteArray("") : QByteArray());
    }
    if (m_site.contains(QStringLiteral("urls"))) {
        for (const QString& pattern : m_site.value(QStringLiteral("urls")).toStringList())
            launchScraperForAddress(pattern, post);
    } else if (m_site.contains(QStringLiteral("url"))) {
        launchScraperForAddress(siteText(m_site, "url"), false);
    }
}

void SearchSiteScraper::launchScraperForAddress(const QString& pattern, bool httpPost)
{
    if (!httpPost)
        return launchScraper(urlByAddingSearchQueryToAddress(pattern), {});
    const qsizetype question = pattern.indexOf(QLatin1Char('?'));
    const QString target = question < 0 ? pattern : pattern.left(question);
    const QString form = question < 0 ? QString() : pattern.mid(question + 1);
    const QByteArray body = SearchSites::filledTemplate(form, m_controller->query()).toLatin1();
    launchScraper(urlByAddingSearchQueryToAddress(target), body.isNull() ? QByteArray("") : body);
}

void SearchSiteScraper::launchScraper(const QUrl& address, const QByteArray& body)
{
    auto* page = new PageScraper(address, body, this);
    page->setIsSERPScraper(isSERPScraper());
    connect(page, &PageScraper::finished, this, &SearchSiteScraper::handlePageScraperCompletion);
    m_pageScrapers.append(page);
}

void SearchSiteScraper::handlePageScraperCompletion(PageScraper* page)
{
    if (!m_pageScrapers.removeOne(page))
        return;
    for (const QString& link : page->torrentLinks())
        loadTorrentAtAddress(link);
    page->deleteLater();
    if (m_startIndex < m_endIndex) {
        m_startIndex += 10;
        launchScraper(googleAddressWithStartIndex(m_startIndex), {});
    }
    QPointer<SearchSiteScraper> guard(this);
    emit pageScraped(page->url(), int(page->torrentLinks().size()));
    if (guard)
        m_controller->updateProgressIndicator();
}

void SearchSiteScraper::loadTorrentAtAddress(const QString& address)
{
    if (m_controller->loadedAddresses().contains(address))
        return;
    if (m_fetchesThisRound >= kMaxFetchesPerRound) {
        if (!m_fetchCapLogged)
            fprintf(stderr, "*** Search site %s: more than %d torrent files in one search; the rest are ignored\n",
                    qPrintable(SearchSites::nameForSearchSite(m_site)), kMaxFetchesPerRound);
        m_fetchCapLogged = true;
        return;
    }
    ++m_fetchesThisRound;
    m_controller->markLoaded(address);
    auto* loader = new FileDownloader(SearchSites::addressFromText(address), this);
    m_downloaders.insert(loader, address);
    connect(loader, &PZHTTPLoader::completed, this, [this](PZHTTPLoader* l) { handleFileDownloaderEnd(l, false); });
    connect(loader, &PZHTTPLoader::failed, this, [this](PZHTTPLoader* l) { handleFileDownloaderEnd(l, true); });
}

void SearchSiteScraper::handleFileDownloaderEnd(PZHTTPLoader* loader, bool failed)
{
    auto* downloader = static_cast<FileDownloader*>(loader);
    const auto it = m_downloaders.constFind(downloader);
    if (it == m_downloaders.constEnd())
        return;
    const QString address = it.value();
    m_downloaders.erase(it);
    const HttpError::Kind kind = loader->error().kind;
    if (failed && (kind == HttpError::Kind::Network || kind == HttpError::Kind::TimedOut))
        m_controller->forgetLoaded(address);  // a later refresh tries again
    if (!failed && !loader->data().isEmpty())
        decodeTorrent(loader->data(), address);
    loader->deleteLater();
    m_controller->updateProgressIndicator();
}

void SearchSiteScraper::decodeTorrent(const QByteArray& data, const QString& address)
{
    ++m_pendingDecodes;
    QPointer<SearchSiteScraper> guard(this);
    QThreadPool::globalInstance()->start([guard, data, address, generation = m_generation] {
        std::optional<Metainfo> metainfo = Metainfo::read(data);
        QMetaObject::invokeMethod(QCoreApplication::instance(), [guard, metainfo = std::move(metainfo), address,
                                                                 generation] {
            if (!guard || guard->m_generation != generation)
                return;  // the search was closed meanwhile
            --guard->m_pendingDecodes;
            if (metainfo)
                guard->m_controller->addLineForTorrent(*metainfo, guard, address);
            if (guard)
                guard->m_controller->updateProgressIndicator();
        }, Qt::QueuedConnection);
    });
}

void SearchSiteScraper::stop()
{
    dropPageScrapers();
    for (FileDownloader* loader : m_downloaders.keys()) {
        loader->disconnect(this);
        loader->killConnection();
        loader->deleteLater();
    }
    m_downloaders.clear();
    m_pendingDecodes = 0;
    ++m_generation;
}

}  // namespace ombrelay
