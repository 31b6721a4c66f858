#pragma once

#include <QList>
#include <QStringList>
#include <QUrl>
#include <memory>
#include <vector>

namespace ombrelay {

class RSSLine;
class RSSTorrentDownloader;

// Runs the torrent-file fetches of feed lines, at most kMaxRunning at once process-wide; waiting ones
// start newest first, since the newest asked are the lines on screen. Main thread only.
class RSSTorrentFetchQueue
{
public:
    static constexpr int kMaxRunning = 8;

    static RSSTorrentFetchQueue& instance();

    void enqueue(std::weak_ptr<RSSLine> line, const QUrl& address, const QStringList& cachePaths);
    int runningCount() const { return int(m_running.size()); }
    int waitingCount() const { return int(m_waiting.size()); }

private:
    struct Fetch
    {
        std::weak_ptr<RSSLine> line;
        QUrl address;
        QStringList cachePaths;
    };
    void drain();
    void finished(RSSTorrentDownloader* downloader);

    QList<Fetch> m_waiting;
    std::vector<std::unique_ptr<RSSTorrentDownloader>> m_running;
};

}  // namespace ombrelay
