#include "engine/core/HeadlessEngineHost.h"

#include "engine/core/DownloadQueue.h"

#include "engine/torrent/TorrentLine.h"

namespace ombrelay {

void HeadlessEngineHost::addDownload(const TorrentLinePtr& line)
{
    if (line && !m_downloads.contains(line))
        m_downloads.append(line);
}

void HeadlessEngineHost::addDownloads(const TorrentLineList& lines)
{
    for (const TorrentLinePtr& line : lines)
        addDownload(line);
}

void HeadlessEngineHost::removeDownloads(const TorrentLineList& lines)
{
    for (const TorrentLinePtr& line : lines) {
        if (!m_downloads.contains(line))
            continue;
        line->willRemoveFromTable();
        m_downloads.removeAll(line);
        m_selection.removeAll(line);
    }
    updateQueueState();
}

TorrentLinePtr HeadlessEngineHost::selectedObject() const
{
    return m_selection.size() == 1 ? m_selection.first() : nullptr;
}

TorrentLinePtr HeadlessEngineHost::torrentForInfoHash(const QByteArray& infoHash) const
{
    for (const TorrentLinePtr& line : m_downloads)
        if (line->infoHash() == infoHash)
            return line;
    return nullptr;
}

int HeadlessEngineHost::numberOfDownloadingTorrents() const
{
    return DownloadQueue::numberOfDownloadingTorrents(m_downloads);
}

void HeadlessEngineHost::updateQueueState()
{
    DownloadQueue::updateQueueState(m_downloads);
}

void HeadlessEngineHost::chooseDownloadFolder(const QString&, const QString& startFolder,
                                              std::function<void(const QString& folder)> done)
{
    done(startFolder);
}

void HeadlessEngineHost::confirmRightToCopy(const RightToCopyPrompt&, std::function<void(bool, bool)> done)
{
    done(true, false);
}

void HeadlessEngineHost::notifyCompletedDownload(const QString& path)
{
    fprintf(stderr, "Downloaded to: %s\n", qPrintable(path));
}

}  // namespace ombrelay
