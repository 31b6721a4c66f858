#pragma once

#include "engine/core/EngineHost.h"
#include "uikit/PZViewController.h"

#include <QList>
#include <QSet>
#include <QStringList>
#include <QVariantMap>

namespace ombrelay {

class SearchSiteScraper;
struct Metainfo;

// Runs one search: a site scraper per enabled search site, one result line per new info hash across all
// sites and refreshes. Creates no widget: the results outline follows its signals. Closing (or
// destroying) it stops every load at once.
class QueryController : public PZViewController
{
    Q_OBJECT
public:
    static constexpr int kNoSitesDelayMs = 400;

    explicit QueryController(const QVariantMap& item, QObject* parent = nullptr);
    ~QueryController() override;

    QVariantMap item() const { return m_item; }
    QString query() const;
    QStringList queryTerms() const;
    const QList<SearchSiteScraper*>& scrapers() const { return m_scrapers; }
    const QList<SearchSiteScraper*>& oldScrapers() const { return m_oldScrapers; }
    const QSet<QString>& loadedAddresses() const { return m_loadedAddresses; }
    int clusteringMode() const { return m_clusteringMode; }
    void setClusteringMode(int mode) { m_clusteringMode = mode; }
    // Every current result line, in site order.
    QList<TorrentLinePtr> lines() const;

    void performSearch();
    // Asks the trackers of every line again, then searches every site again.
    void refreshContents();
    void reloadScrapers();
    void updateClusteringMode();
    void updateProgressIndicator();
    bool isActive() const;
    void close();
    // Swarm sizes are asked of the trackers only while someone shows them.
    void setScrapesTrackers(bool scrape);

    // For the site scrapers.
    void markLoaded(const QString& address) { m_loadedAddresses.insert(address); }
    void forgetLoaded(const QString& address) { m_loadedAddresses.remove(address); }
    // Adds a result line unless its torrent is already listed; returns it, or null.
    TorrentLinePtr addLineForTorrent(Metainfo metainfo, SearchSiteScraper* scraper, const QString& address);

signals:
    void lineAdded(ombrelay::SearchSiteScraper* scraper, const ombrelay::TorrentLinePtr& line);
    void activityChanged(bool active);
    void scrapersChanged();
    void clusteringModeChanged(int mode);
    void highlightChanged();
    // No enabled search site, shortly after the search started.
    void noSearchSites();

private:
    void settingChanged(const QString& key);
    SearchSiteScraper* makeScraper(const QVariantMap& site);

    QVariantMap m_item;
    mutable QStringList m_queryTerms;
    QList<SearchSiteScraper*> m_scrapers;
    QList<SearchSiteScraper*> m_oldScrapers;
    QSet<QString> m_loadedAddresses;
    QSet<QByteArray> m_hashes;
    int m_clusteringMode = 1;
    bool m_started = false;
    bool m_closed = false;
    bool m_active = false;
    bool m_scrapesTrackers = false;
};

}  // namespace ombrelay
