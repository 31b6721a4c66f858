#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace ombrelay {

class TorrentLine;
using TorrentLinePtr = std::shared_ptr<TorrentLine>;
using TorrentLineList = QList<TorrentLinePtr>;

// What the engine calls on the transfers list and the interface. The interface layer implements it and
// installs its host at start; tests install fakes. Without an installed host the engine talks to a
// headless host that keeps the downloads list, runs the download queue and answers every prompt with
// the plain choice. Main thread only.
class EngineHost
{
public:
    virtual ~EngineHost() = default;

    // The host the engine uses; never null. install(nullptr) returns to the headless host.
    static EngineHost& instance();
    static void install(EngineHost* host);

    // The downloads list.
    virtual TorrentLineList objects() const = 0;  // in list order, exactly the torrents in the list
    virtual void addDownload(const TorrentLinePtr& line) = 0;
    virtual void addDownloads(const TorrentLineList& lines) = 0;  // loaded torrents, put in at once
    // Removes the torrents from the list; each is told willRemoveFromTable before the list lets it go.
    virtual void removeDownloads(const TorrentLineList& lines) = 0;
    virtual void selectObjects(const TorrentLineList& lines) = 0;
    virtual TorrentLinePtr selectedObject() const = 0;
    virtual TorrentLinePtr torrentForInfoHash(const QByteArray& infoHash) const = 0;
    // Torrents in the list that are neither paused, waiting nor complete.
    virtual int numberOfDownloadingTorrents() const = 0;
    // Starts waiting torrents, in list order, while the download queue allows.
    virtual void updateQueueState() = 0;

    // Redraws and bound texts.
    virtual void updateCell(const TorrentLine* line) = 0;  // null: every cell
    virtual void statsUpdated() = 0;
    virtual void invalidateBindingsText() = 0;  // the transfers controller's own texts
    virtual void markListForRedraw() = 0;
    virtual void validateToolbar() = 0;
    virtual void rebuildFilterTabs() = 0;
    virtual void showDownloadsPane() = 0;  // with the transfers list taking the keys

    // Prompts. Each answers later through its callback, on the main thread.
    // Chooses a download folder (starting in `startFolder`); an empty answer means cancelled.
    virtual void chooseDownloadFolder(const QString& message, const QString& startFolder,
                                      std::function<void(const QString& folder)> done) = 0;
    struct RightToCopyPrompt
    {
        QString message;
        QString informativeText;
        QString suppressionTitle;  // empty: no "do not ask again" box
    };
    virtual void confirmRightToCopy(const RightToCopyPrompt& prompt,
                                    std::function<void(bool confirmed, bool suppress)> done) = 0;

    // Notices.
    virtual void notifyCompletedDownload(const QString& path) = 0;
    virtual void requestAttention() = 0;
    virtual void redisplayBadge() = 0;
    virtual void beep() = 0;

    // Media hand-over of completed files.
    virtual bool shouldHandOverFile(const QString& path) const = 0;
    virtual bool handOverCompletedPath(const QString& path) = 0;  // true when queued
};

}  // namespace ombrelay
