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
    // Each second: lookups only, and a write only when a state changed.
    bool wrote = false;
    bool appeared = false;
    for (const TorrentLinePtr& torrent : torrents) {
        const int state = torrent->downloadState();
        const auto seen = m_states.find(torrent->infoHash());
        if (seen != m_states.end() && *seen == state)
            continue;
        appeared = appeared || seen == m_states.end();
        m_states.insert(torrent->infoHash(), state);
        fprintf(m_out, "%s\n", qPrintable(lineFor(*torrent)));
        wrote = true;
    }
    if (wrote)
        fflush(m_out);
    // One that left while another appeared leaves the count as it was.
    if (appeared || m_states.size() > torrents.size())
        forgetUnlisted(torrents);
}

void TransferStateLog::forgetUnlisted(const TorrentLineList& torrents)
{
    QHash<QByteArray, int> listed;
    listed.reserve(torrents.size());
    for (const TorrentLinePtr& torrent : torrents)
        listed.insert(torrent->infoHash(), m_states.value(torrent->infoHash()));
    m_states = std::move(listed);
}

}  // namespace ombrelay
