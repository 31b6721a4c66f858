#pragma once

#include "engine/core/TrackerService.h"

#include <QObject>
#include <QHash>
#include <QList>
#include <QSet>
#include <functional>
#include <memory>

namespace ombrelay {

class AnnouncePeers;
class TorrentScraper;
class TrackerWire;

// Announces and scrapes of the torrents over their HTTP trackers: one TrackerWire per torrent, built on
// its first announce, and one TorrentScraper per scrape. Posts "TorrentLineSwarmSizeUpdated" (the
// torrent as object) when a scrape raises a torrent's counts. Main thread only.
class HttpTrackerService : public QObject, public TrackerService
{
    Q_OBJECT
public:
    // `port`: the listening port trackers are told (by default the engine's public port).
    explicit HttpTrackerService(AnnouncePeers& peers, std::function<quint16()> port = {}, QObject* parent = nullptr);
    ~HttpTrackerService() override;

    void announce(TorrentLine& torrent, TrackerEvent event) override;
    void scrape(TorrentLine& torrent) override;
    void forget(TorrentLine& torrent) override;

    // The torrent's wire (seeds and leeches of its last announce), or null before its first announce.
    TrackerWire* wireFor(const TorrentLine& torrent) const;

private:
    class Subject;
    struct Announcer;

    void watch(TorrentLine& torrent);
    void drop(const TorrentLine* torrent);

    AnnouncePeers& m_peers;
    std::function<quint16()> m_port;
    QHash<const TorrentLine*, std::shared_ptr<Announcer>> m_announcers;
    QHash<const TorrentLine*, TorrentScraper*> m_scrapers;
    QSet<const TorrentLine*> m_watched;
    QList<std::shared_ptr<Announcer>> m_leaving;  // forgotten, their last announce still running
};

}  // namespace ombrelay
