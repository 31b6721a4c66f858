#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QStringList>

namespace ombrelay {

class PZHTTPLoader;
class TrackerScraper;

// Scrapes one torrent at every HTTP tracker that has a scrape address, all at once, and keeps the
// largest seed and leech counts any of them gave.
class TorrentScraper : public QObject
{
    Q_OBJECT
public:
    TorrentScraper(const QByteArray& infoHash, const QStringList& httpTrackers, QObject* parent = nullptr);
    ~TorrentScraper() override;

    int seeds() const { return m_seeds; }
    int leeches() const { return m_leeches; }
    int successfulScrapes() const { return m_successes; }
    int runningScrapes() const { return int(m_scrapers.size()); }

signals:
    void swarmSizeUpdated();  // after each successful scrape
    // When the last scrape has answered (on the next pass when none could start). The owner may
    // deleteLater() the scraper from here.
    void finished(bool anySucceeded);

private:
    void scraperEnded(PZHTTPLoader* loader, bool succeeded);

    QList<TrackerScraper*> m_scrapers;
    int m_seeds = 0;
    int m_leeches = 0;
    int m_successes = 0;
};

}  // namespace ombrelay
