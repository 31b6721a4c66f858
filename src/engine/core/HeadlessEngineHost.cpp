#include "engine/core/HeadlessEngineHost.h"

#include "engine/torrent/TorrentLine.h"
#include "kit/Settings.h"

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
    int downloading = 0;
    for (const TorrentLinePtr& line : m_downloads)
        downloading += !line->isPaused() && !line->isWaiting() && !line->isComplete() ? 1 : 0;
    return downloading;
}

void HeadlessEngineHost::updateQueueState()
{
    const Settings& settings = Settings::instance();
    if (!settings.boolean(QStringLiteral("kDownloadQueueEnabled")))
        return;
    const qint64 limit = settings.integer(QStringLiteral("kDownloadQueueLimit"));
    for (const TorrentLinePtr& line : TorrentLineList(m_downloads)) {
        if (numberOfDownloadingTorrents() >= limit)
            break;
        if (line->isWaiting())
            line->retryDownload();
    }
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
