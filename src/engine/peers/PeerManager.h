#pragma once

#include <QList>
#include <functional>

namespace ombrelay {

class TorrentPeers;

// Spreads new outgoing connections over all torrents within the process-wide limits: nothing while more
// than kMaxConnecting connections are being opened or more than kMaxActive are active in all; then,
// while fewer than kMaxConnecting are being opened, a random torrent with a free peer slot dials one of
// its stored peers, and a torrent that cannot leaves the draw. Main thread only.
class PeerManager
{
public:
    static constexpr int kMaxConnecting = 50;
    static constexpr int kMaxActive = 250;

    // The peers of every torrent in the downloads list that is not paused, in list order.
    using Torrents = std::function<QList<TorrentPeers*>()>;
    // A random number below the bound (at least 1).
    using Random = std::function<int(int bound)>;

    explicit PeerManager(Torrents torrents, Random random = {});

    // Answers how many peers were dialled.
    int connectToPeers();

private:
    Torrents m_torrents;
    Random m_random;
};

}  // namespace ombrelay
