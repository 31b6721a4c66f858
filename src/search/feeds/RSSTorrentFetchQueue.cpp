#include "search/feeds/RSSTorrentFetchQueue.h"

#include "search/feeds/RSSLine.h"
#include "search/feeds/RSSTorrentDownloader.h"


namespace ombrelay {

RSSTorrentFetchQueue& RSSTorrentFetchQueue::instance()
{
    static auto& queue = *new RSSTorrentFetchQueue;  // loads may still report while the process ends
    return queue;
}

void RSSTorrentFetchQueue::enqueue(std::weak_ptr<RSSLine> line, const QUrl& address, const QStringList& cachePaths)
{
    m_waiting.append({std::move(line), address, cachePaths});
    drain();
}

void RSSTorrentFetchQueue::drain()
{
    while (int(m_running.size()) < kMaxRunning && !m_waiting.isEmpty()) {
        Fetch fetch = m_waiting.takeLast();
        if (fetch.line.expired())
            continue;
        auto downloader = std::make_unique<RSSTorrentDownloader>(fetch.line, fetch.cachePaths);
        QObject::connect(downloader.get(), &RSSTorrentDownloader::finished, downloader.get(),
                         [this](RSSTorrentDownloader* done) { finished(done); });
        RSSTorrentDownloader* started = downloader.get();
        m_running.push_back(std::move(downloader));
        started->loadURL(fetch.address);
    }
}

void RSSTorrentFetchQueue::finished(RSSTorrentDownloader* downloader)
{
    for (auto it = m_running.begin(); it != m_running.end(); ++it) {
        if (it->get() == downloader) {
            // Reporting from inside its own signal: deleted once that returns.
            it->release()->deleteLater();
            m_running.erase(it);
            break;
        }
    }
    drain();
}

}  // namespace ombrelay
