#include "engine/tracker/HttpTrackerService.h"

#include "engine/core/BTCore.h"
#include "engine/torrent/TorrentLine.h"
#include "engine/tracker/AnnouncePeers.h"
#include "engine/tracker/AnnounceSubject.h"
#include "engine/tracker/TorrentScraper.h"
#include "engine/tracker/TrackerWire.h"
#include "kit/NotificationCenter.h"

#include <QTimer>

namespace ombrelay {

// A torrent as announcing sees it. Once detached (the torrent was forgotten while its "stopped" is on
// the way) it answers from what it knew and takes no peers.
class HttpTrackerService::Subject : public AnnounceSubject
{
public:
    Subject(TorrentLine& torrent, AnnouncePeers& peers, const std::function<quint16()>& port)
        : m_torrent(&torrent), m_peers(peers), m_port(port)
    {
    }

    void detach()
    {
        m_infoHash = m_torrent->infoHash();
        m_trackers = m_torrent->trackerListHTTP();
        m_torrent = nullptr;
    }

    QByteArray infoHash() const override { return m_torrent ? m_torrent->infoHash() : m_infoHash; }
    QByteArray peerId() const override { return m_torrent ? m_peers.peerId(*m_torrent) : QByteArray(); }
    quint16 listeningPort() const override { return m_port(); }
    quint64 bytesUploaded() const override { return m_torrent ? m_torrent->bytesUploaded() : 0; }
    quint64 bytesDownloaded() const override { return m_torrent ? m_torrent->downloaded() : 0; }
    quint64 bytesLeft() const override
    {
        if (!m_torrent)
            return 0;
        const quint64 total = m_torrent->totalLength();
        return m_torrent->downloaded() < total ? total - m_torrent->downloaded() : 0;
    }
    QStringList httpTrackers() const override { return m_torrent ? m_torrent->trackerListHTTP() : m_trackers; }
    bool isPaused() const override { return !m_torrent || m_torrent->isPaused(); }
    void addPeers(const QList<AnnounceReply::Peer>& peers) override
    {
        if (m_torrent)
            m_peers.addPeers(*m_torrent, peers);
    }

private:
    TorrentLine* m_torrent;
    AnnouncePeers& m_peers;
    const std::function<quint16()>& m_port;
    QByteArray m_infoHash;
    QStringList m_trackers;
};

struct HttpTrackerService::Announcer
{
    Announcer(TorrentLine& torrent, AnnouncePeers& peers, const std::function<quint16()>& port)
        : subject(torrent, peers, port), wire(subject)
    {
    }
    Subject subject;
    TrackerWire wire;
};

HttpTrackerService::HttpTrackerService(AnnouncePeers& peers, std::function<quint16()> port, QObject* parent)
    : QObject(parent), m_peers(peers), m_port(port ? std::move(port) : [] { return BTCore::instance().publicPort(); })
{
}

HttpTrackerService::~HttpTrackerService()
{
    qDeleteAll(m_scrapers);
}

void HttpTrackerService::watch(TorrentLine& torrent)
{
    // A torrent destroyed without forget() takes its wire and scrape with it.
    if (m_watched.contains(&torrent))
        return;
    m_watched.insert(&torrent);
    connect(&torrent, &QObject::destroyed, this, [this, key = &torrent] { drop(key); });
}

void HttpTrackerService::drop(const TorrentLine* torrent)
{
    m_watched.remove(torrent);
    m_announcers.remove(torrent);
    // Its answers may still come before the deferred deletion: none reaches the torrent any more.
    if (TorrentScraper* scraper = m_scrapers.take(torrent)) {
        scraper->disconnect(this);
        scraper->deleteLater();
    }
}

void HttpTrackerService::announce(TorrentLine& torrent, TrackerEvent event)
{
    auto& announcer = m_announcers[&torrent];
    if (!announcer) {
        announcer = std::make_shared<Announcer>(torrent, m_peers, m_port);
        watch(torrent);
    }
    announcer->wire.sendTrackerEvent(event);
}

void HttpTrackerService::scrape(TorrentLine& torrent)
{
    if (m_scrapers.contains(&torrent))
        return;
    auto* scraper = new TorrentScraper(torrent.infoHash(), torrent.trackerListHTTP());
    m_scrapers.insert(&torrent, scraper);
    watch(torrent);
    connect(scraper, &TorrentScraper::swarmSizeUpdated, this, [&torrent, scraper] {
        torrent.setSeeds(std::max(torrent.seeds(), scraper->seeds()));
        torrent.setLeeches(std::max(torrent.leeches(), scraper->leeches()));
        postNotificationAboutSelf(&torrent, QStringLiteral("TorrentLineSwarmSizeUpdated"));
    });
    connect(scraper, &TorrentScraper::finished, this, [this, &torrent, scraper](bool anySucceeded) {
        if (!anySucceeded)
            torrent.setHasScraped(false);  // a later scrape may try again
        m_scrapers.remove(&torrent);
        scraper->deleteLater();
    });
}

void HttpTrackerService::forget(TorrentLine& torrent)
{
    // A running announce (the "stopped" sent on removal) is let finish without the torrent.
    const std::shared_ptr<Announcer> announcer = m_announcers.value(&torrent);
    if (announcer && announcer->wire.isLoading()) {
        announcer->subject.detach();
        m_leaving.append(announcer);
        auto release = [this, leaving = announcer.get()] {
            QTimer::singleShot(0, this, [this, leaving] {
                m_leaving.removeIf([leaving](const auto& a) { return a.get() == leaving; });
            });
        };
        connect(&announcer->wire, &TrackerWire::announced, this, release);
        connect(&announcer->wire, &TrackerWire::announceFailed, this, release);
    }
    disconnect(&torrent, &QObject::destroyed, this, nullptr);
    drop(&torrent);
}

TrackerWire* HttpTrackerService::wireFor(const TorrentLine& torrent) const
{
    const auto announcer = m_announcers.value(&torrent);
    return announcer ? &announcer->wire : nullptr;
}

}  // namespace ombrelay
