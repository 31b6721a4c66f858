#pragma once

#include "engine/core/EngineHost.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariantMap>

namespace ombrelay {

class FileDownloader;
class PageScraper;
class PZHTTPLoader;
class QueryController;
struct Metainfo;

// Searches one site for its controller's query: fetches the site's result pages, fetches every torrent
// link found there that the controller has not fetched yet, decodes each file on the thread pool and
// hands it to the controller. Holds the site's result lines. Keeps its own copy of the site.
class SearchSiteScraper : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxFetchesPerRound = 1000;
    static constexpr int kLastPageOffset = 100;

    SearchSiteScraper(const QVariantMap& site, QueryController* controller);
    ~SearchSiteScraper() override;

    QVariantMap searchSite() const { return m_site; }
    // Another copy of the site (its name or tab setting edited); its searches stay as they are.
    void setSearchSite(const QVariantMap& site) { m_site = site; }
    // Whether `site` fetches the same pages as this scraper's site: what else it says (name, switch,
    // tab, date) changes no search.
    bool searchesLike(const QVariantMap& site) const;
    QueryController* queryController() const { return m_controller; }
    const QList<TorrentLinePtr>& lines() const { return m_lines; }
    bool isExpanded() const { return m_isExpanded; }
    void setIsExpanded(bool expanded) { m_isExpanded = expanded; }
    int downloaderCount() const { return int(m_downloaders.size()); }

    // A new round: the earlier round's page loads are dropped (its torrent loads go on), the site's
    // pages are fetched again.
    void beginScrape();
    // Stops every load of this site at once.
    void stop();
    bool isActive() const;
    bool isSERPScraper() const;
    // The site's own results page for the query; empty when the site has none.
    QUrl externalURL() const;
    QUrl urlByAddingSearchQueryToAddress(const QString& pattern) const;
    QUrl googleAddressWithStartIndex(int offset) const;

    void appendLine(const TorrentLinePtr& line) { m_lines.append(line); }

signals:
    // A result page was loaded and scanned (or failed: then without links).
    void pageScraped(const QUrl& address, int torrentLinks);

private:
    void dropPageScrapers();
    void launchScraperForAddress(const QString& pattern, bool httpPost);
    void launchScraper(const QUrl& address, const QByteArray& body);
    void handlePageScraperCompletion(PageScraper* scraper);
    void loadTorrentAtAddress(const QString& address);
    void handleFileDownloaderEnd(PZHTTPLoader* loader, bool failed);
    void decodeTorrent(const QByteArray& data, const QString& address);

    QVariantMap m_site;
    QueryController* m_controller;
    QList<PageScraper*> m_pageScrapers;
    QHash<FileDownloader*, QString> m_downloaders;
    QList<TorrentLinePtr> m_lines;
    int m_startIndex = 0;
    int m_endIndex = 0;
    bool m_isExpanded = true;
    int m_fetchesThisRound = 0;
    bool m_fetchCapLogged = false;
    int m_pendingDecodes = 0;
    int m_generation = 0;  // decodes of a stopped search are dropped
};

}  // namespace ombrelay
