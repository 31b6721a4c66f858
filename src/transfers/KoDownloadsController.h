#pragma once

#include "engine/core/EngineHost.h"
#include "transfers/CurrentDownload.h"
#include "transfers/StatsView.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QWidget>

namespace ombrelay {

class DownloadsOutlineView;
class FilterSearchField;
class PZRoundTabView;
class TransfersInfoArea;
class VolumeMonitor;

// The owner of the transfers pane and the engine's host: the one object through which the engine adds
// torrents, asks for counts and rates and has the list redrawn. Halts torrents whose download folder
// lies on a disk that went away (state 5) and resumes them when it returns. Main thread only.
class KoDownloadsController : public QObject, public EngineHost
{
    Q_OBJECT
public:
    static constexpr const char* kSelectionDidChangeNotification = "KoDownloadsControllerSelectionDidChangeNotification";

    // What the application plugs in for notices and the media library; each may stay empty.
    struct DesktopHooks
    {
        std::function<void(const QString& path)> completedDownload;
        std::function<void()> attention;
        std::function<bool(const QString& path)> shouldHandOver;
        // The completed file and its path inside the torrent ("Album/1.mp3"); true when queued.
        std::function<bool(const QString& path, const QString& pathInTorrent)> handOver;
        std::function<void(const QString& path)> addToLibrary;  // the list's menu item
    };

    // The pane is built at once; mounts and unmounts come from the monitor.
    explicit KoDownloadsController(VolumeMonitor& volumes, QObject* parent = nullptr);
    ~KoDownloadsController() override;

    QWidget* mainView() const { return m_mainView; }
    DownloadsOutlineView* outlineView() const { return m_outlineView; }
    PZRoundTabView* tabView() const { return m_tabView; }
    FilterSearchField* filterField() const { return m_filterField; }
    TransfersInfoArea* infoArea() const { return m_infoArea; }
    // The sidebar's transfers row, for the main window to place; fed on every update.
    StatsView* statsView() const { return m_statsView; }
    // Its content is the selected torrent, set before the selection notification goes out.
    const CurrentDownload& currentDownload() const { return m_currentDownload; }
    // Torrents seen incomplete in this run that are complete now, until the transfers view is seen.
    int numberOfRecentlyCompleted() const { return int(m_recentlyCompleted.size()); }

    // Counts over the whole list, by state (the filter text does not change them).
    int numberOfPausedTorrents() const;
    int numberOfConnectingTorrents() const;
    int numberOfActiveTorrents() const;
    int numberOfComplete() const;
    float downstreamBandwidthUsage() const;
    float upstreamBandwidthUsage() const;

    QString downloadsText() const { return m_downloadsText; }
    QString uploadsText() const { return m_uploadsText; }
    QString downloadsRateText() const { return m_downloadsRateText; }
    QString uploadsRateText() const { return m_uploadsRateText; }

    void didMount();
    void didUnmount();
    void runUnmountedAlertForTorrent(TorrentLine& torrent);
    // The name of the disk a halted torrent waits for, for the alert.
    QString volumeNameFor(const TorrentLine& torrent) const;
    void selectionDidChange();
    void setDesktopHooks(DesktopHooks hooks);
    // A listed torrent's file as a path inside its torrent ("Album/1.mp3"); the file name otherwise.
    QString pathInTorrent(const QString& path) const;

    // EngineHost.
    TorrentLineList objects() const override;
    void addDownload(const TorrentLinePtr& line) override;
    void addDownloads(const TorrentLineList& lines) override;
    void removeDownloads(const TorrentLineList& lines) override;
    void selectObjects(const TorrentLineList& lines) override;
    TorrentLinePtr selectedObject() const override;
    TorrentLinePtr torrentForInfoHash(const QByteArray& infoHash) const override;
    int numberOfDownloadingTorrents() const override;
    void updateQueueState() override;
    void updateCell(const TorrentLine* line) override;
    void statsUpdated() override;
    void invalidateBindingsText() override;
    void markListForRedraw() override;
    void validateToolbar() override;
    void rebuildFilterTabs() override;
    void showDownloadsPane() override;
    void chooseDownloadFolder(const QString& message, const QString& startFolder,
                              std::function<void(const QString& folder)> done) override;
    void confirmRightToCopy(const RightToCopyPrompt& prompt,
                            std::function<void(bool confirmed, bool suppress)> done) override;
    void notifyCompletedDownload(const QString& path) override;
    void requestAttention() override;
    void redisplayBadge() override;
    void beep() override;
    bool shouldHandOverFile(const QString& path) const override;
    bool handOverCompletedPath(const QString& path) override;

signals:
    // The four texts changed.
    void bindingsTextChanged();
    // Counts changed: the window's toolbar and badge revalidate.
    void countsChanged();
    void showPaneRequested();

private:
    void mountsChanged(const QStringList& added, const QStringList& removed);
    bool isOnUnattachedVolume(const TorrentLine& torrent) const;
    // A torrent that completed frees a place in the download queue.
    void startQueuedAfterCompletion();
    void rebuildArrays();
    // Each listed torrent marks the list changed when one of its texts does.
    void watchTexts(const TorrentLinePtr& line);
    // Whether a row may read differently than at the last tick: a text changed, or bytes still flow.
    bool listMayHaveChanged() const;

    VolumeMonitor& m_volumes;
    CurrentDownload m_currentDownload;
    QPointer<QWidget> m_mainView;
    QPointer<StatsView> m_statsView;
    TransfersInfoArea* m_infoArea;
    DownloadsOutlineView* m_outlineView;
    PZRoundTabView* m_tabView;
    FilterSearchField* m_filterField;
    QString m_downloadsText;
    QString m_uploadsText;
    QString m_downloadsRateText;
    QString m_uploadsRateText;
    int m_completeCount = 0;
    bool m_textsChanged = true;
    QSet<const TorrentLine*> m_seenIncomplete;
    QSet<const TorrentLine*> m_recentlyCompleted;
    DesktopHooks m_hooks;
};

}  // namespace ombrelay
