#include "search/QueryController.h"

#include "engine/torrent/Metainfo.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/PerformLater.h"
#include "kit/Settings.h"
#include "search/SearchSiteScraper.h"
#include "search/SearchSites.h"

#include <cstdio>

namespace ombrelay {
namespace {

const QString kNoSitesKey = QStringLiteral("QueryController.noSites");

}  // namespace

QueryController::QueryController(const QVariantMap& item, QObject* parent)
    : PZViewController(parent), m_item(item)
{
    qRegisterMetaType<ombrelay::SearchSiteScraper*>();
    qRegisterMetaType<ombrelay::TorrentLinePtr>();
    Settings& settings = Settings::instance();
    settings.registerDefault(QStringLiteral("kClusterResultsA"), QStringLiteral("1"));
    settings.registerDefault(QStringLiteral("kHighlightQueryTerm"), QStringLiteral("0"));
    SearchSites::instance();  // follows "kSearchSites" before this controller does
    connect(&settings, &Settings::changed, this, &QueryController::settingChanged);
    setTitle(tr("Search Results"));
    updateClusteringMode();
}

QueryController::~QueryController()
{
    close();
}

QString QueryController::query() const
{
    return m_item.value(QStringLiteral("name")).toString().trimmed();
}

QStringList QueryController::queryTerms() const
{
    if (m_queryTerms.isEmpty()) {
        for (const QString& piece : query().split(QLatin1Char(' '))) {
            const QString term = piece.trimmed().toLower();
            if (!term.isEmpty())
                m_queryTerms.append(term);
        }
    }
    return m_queryTerms;
}

QList<TorrentLinePtr> QueryController::lines() const
{
    QList<TorrentLinePtr> all;
    for (const SearchSiteScraper* scraper : m_scrapers)
        all += scraper->lines();
    return all;
}

void QueryController::settingChanged(const QString& key)
{
    if (key == QLatin1String("kClusterResultsA"))
        updateClusteringMode();
    else if (key == QLatin1String("kHighlightQueryTerm"))
        emit highlightChanged();
    else if (key == QLatin1String("kEnabledSystemModules") || key == QLatin1String("kSearchSites"))
        reloadScrapers();
}

SearchSiteScraper* QueryController::makeScraper(const QVariantMap& site)
{
    return new SearchSiteScraper(site, this);
}

void QueryController::performSearch()
{
    if (m_closed)
        return;
    if (!m_started) {
        m_started = true;
        for (const QVariantMap& site : SearchSites::instance().allEnabledModules())
            m_scrapers.append(makeScraper(site));
        emit scrapersChanged();
    }
    for (SearchSiteScraper* scraper : m_scrapers)
        scraper->beginScrape();
    if (m_scrapers.isEmpty())
        PerformLater::schedule(this, [this] { emit noSearchSites(); }, kNoSitesDelayMs, kNoSitesKey);
    updateProgressIndicator();
}

void QueryController::refreshContents()
{
    for (const SearchSiteScraper* scraper : m_scrapers)
        for (const TorrentLinePtr& line : scraper->lines())
            line->rescrapeTracker();
    performSearch();
}

void QueryController::reloadScrapers()
{
    if (!m_started || m_closed)
        return;
    QList<SearchSiteScraper*> fresh;
    for (const QVariantMap& site : SearchSites::instance().allEnabledModules()) {
        SearchSiteScraper* kept = nullptr;
        for (QList<SearchSiteScraper*>* list : {&m_scrapers, &m_oldScrapers})
            for (SearchSiteScraper* scraper : *list)
                if (!kept && !fresh.contains(scraper) && scraper->searchesLike(site))
                    kept = scraper;
        if (kept) {
            kept->setSearchSite(site);
            m_oldScrapers.removeOne(kept);
            fresh.append(kept);
        } else {
            fresh.append(makeScraper(site));
            fresh.last()->beginScrape();
        }
    }
    for (SearchSiteScraper* scraper : m_scrapers)
        if (!fresh.contains(scraper))
            m_oldScrapers.append(scraper);
    m_scrapers = fresh;
    updateClusteringMode();
    emit scrapersChanged();
    updateProgressIndicator();
}

void QueryController::updateClusteringMode()
{
    m_clusteringMode = Settings::instance().boolean(QStringLiteral("kClusterResultsA")) ? 1 : 0;
    emit clusteringModeChanged(m_clusteringMode);
}

bool QueryController::isActive() const
{
    for (const SearchSiteScraper* scraper : m_scrapers)
        if (scraper->isActive())
            return true;
    return false;
}

void QueryController::updateProgressIndicator()
{
    const bool active = !m_closed && isActive();
    if (active == m_active)
        return;
    m_active = active;
    if (!active && !m_closed)
        fprintf(stderr, "Search \"%s\": %d result(s) from %d site(s)\n", qPrintable(query().left(200)), int(lines().size()),
                int(m_scrapers.size()));
    emit activityChanged(active);
}

TorrentLinePtr QueryController::addLineForTorrent(Metainfo metainfo, SearchSiteScraper* scraper, const QString& address)
{
    if (m_closed || m_hashes.contains(metainfo.infoHash))
        return nullptr;
    TorrentLinePtr line = TorrentLine::torrentLineForMetainfo(std::move(metainfo));
    if (!line)
        return nullptr;
    line->setTorrentAddress(address);
    m_hashes.insert(line->infoHash());
    scraper->appendLine(line);
    if (m_scrapesTrackers)
        line->scrapeTracker();
    emit lineAdded(scraper, line);  // last: a receiver may delete this controller
    return line;
}

void QueryController::setScrapesTrackers(bool scrape)
{
    m_scrapesTrackers = scrape;
    if (scrape)
        for (const TorrentLinePtr& line : lines())
            line->scrapeTracker();
}

void QueryController::close()
{
    if (m_closed)
        return;
    m_closed = true;
    PerformLater::cancel(this);
    for (SearchSiteScraper* scraper : m_scrapers + m_oldScrapers)
        scraper->stop();
    updateProgressIndicator();
}

}  // namespace ombrelay
