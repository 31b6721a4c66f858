#include "engine/tracker/TrackerScraper.h"

namespace ombrelay {

TrackerScraper::TrackerScraper(const QByteArray& infoHash, QObject* parent)
    : PZHTTPLoaderQueued(parent), m_infoHash(infoHash)
{
    setTimeoutMs(kTimeoutMs);
    setMaxBodySize(kTrackerBodyCap);
}

void TrackerScraper::handleCompletion()
{
    const auto counts = ScrapeExchange::countsIn(data(), m_infoHash);
    if (!counts) {
        reportError({HttpError::Kind::UnreadableReply,
                     QStringLiteral("no entry for the torrent (HTTP status %1)").arg(statusCode())});
        return;
    }
    m_counts = *counts;
    PZHTTPLoaderQueued::handleCompletion();
}

}  // namespace ombrelay
