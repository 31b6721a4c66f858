#include "transfers/TransferStateLog.h"

#include "engine/torrent/TorrentLine.h"

namespace ombrelay {

const char* TransferStateLog::stateName(int state)
{
    switch (state) {
    case TorrentLine::None: return "removed";
    case TorrentLine::Downloading: return "downloading";
    case TorrentLine::Paused: return "paused";
    case TorrentLine::Waiting: return "queued";
    case TorrentLine::Complete: return "complete";
    case TorrentLine::Halted: return "halted";
    }
    return "unknown";
}

QString TransferStateLog::lineFor(const TorrentLine& torrent)
{
    return QStringLiteral("Transfer %1 \"%2\": %3")
        .arg(QString::fromLatin1(torrent.infoHash().toHex()), torrent.path(),
             QString::fromLatin1(stateName(torrent.downloadState())));
}

void TransferStateLog::update(const TorrentLineList& torrents)
{
    QHash<QByteArray, int> seen;
    seen.reserve(torrents.size());
    for (const TorrentLinePtr& torrent : torrents) {
        const int state = torrent->downloadState();
        seen.insert(torrent->infoHash(), state);
        const auto previous = m_states.constFind(torrent->infoHash());
        if (previous == m_states.constEnd() || *previous != state)
            fprintf(m_out, "%s\n", qPrintable(lineFor(*torrent)));
    }
    fflush(m_out);
    m_states = std::move(seen);
}

}  // namespace ombrelay
