#include "engine/tracker/TorrentScraper.h"

#include "engine/tracker/ScrapeExchange.h"
#include "engine/tracker/TrackerScraper.h"

#include <QTimer>
#include <QUrl>

namespace ombrelay {

TorrentScraper::TorrentScraper(const QByteArray& infoHash, const QStringList& httpTrackers, QObject* parent)
    : QObject(parent)
{
    for (const QString& tracker : httpTrackers) {
        const QUrl url(tracker);
        if (!url.isValid())
            continue;
        const auto address = ScrapeExchange::addressFor(url.toEncoded(), infoHash);
        if (!address)
            continue;
        auto* scraper = new TrackerScraper(infoHash, this);
        connect(scraper, &PZHTTPLoader::completed, this, [this](PZHTTPLoader* l) { scraperEnded(l, true); });
        connect(scraper, &PZHTTPLoader::failed, this, [this](PZHTTPLoader* l) { scraperEnded(l, false); });
        m_scrapers.append(scraper);
        scraper->loadEncodedURL(*address);
    }
    if (m_scrapers.isEmpty())
        QTimer::singleShot(0, this, [this] { emit finished(false); });
}

TorrentScraper::~TorrentScraper()
{
    qDeleteAll(m_scrapers);  // each leaves the queue as it goes
}

void TorrentScraper::scraperEnded(PZHTTPLoader* loader, bool succeeded)
{
    auto* scraper = static_cast<TrackerScraper*>(loader);
    m_scrapers.removeOne(scraper);
    if (succeeded) {
        m_seeds = std::max(m_seeds, scraper->seeds());
        m_leeches = std::max(m_leeches, scraper->leeches());
        ++m_successes;
    }
    scraper->deleteLater();
    if (succeeded)
        emit swarmSizeUpdated();
    if (m_scrapers.isEmpty())
        emit finished(m_successes > 0);
}

}  // namespace ombrelay
