#pragma once

namespace ombrelay {

class TorrentLine;

enum class TrackerEvent { None, Started, Completed, Stopped };

// The torrent model's calls into the trackers: announces with their event, and scrapes. The tracker
// code installs its service; until then announces and scrapes go nowhere.
class TrackerService
{
public:
    virtual ~TrackerService() = default;

    static TrackerService& instance();  // never null
    static void install(TrackerService* service);

    virtual void announce(TorrentLine& torrent, TrackerEvent event) = 0;
    virtual void scrape(TorrentLine& torrent) = 0;
    // The torrent left the downloads list: drop its announce connection and scrape.
    virtual void forget(TorrentLine& torrent) = 0;
};

}  // namespace ombrelay
