#pragma once

#include <functional>

#include "engine/core/EngineHost.h"
#include "uikit/PZOutlineView.h"

#include <QHash>
#include <QPointer>
#include <memory>

class QMenu;
class QTimer;

namespace ombrelay {

class OBLine;
class PreviewWindow;
class TransferItem;

// The transfers list: one row per torrent, expandable into its folders and files, with the four filter
// buttons, the download queue, removal with confirmation, opening, revealing, preview, keys and the
// context menu. The list order is the order torrents were added; rows show it sorted.
class DownloadsOutlineView : public PZOutlineView
{
    Q_OBJECT
public:
    enum Column { NameColumn, ProgressColumn, TransferColumn, TimeColumn };

    explicit DownloadsOutlineView(QWidget* parent = nullptr);
    ~DownloadsOutlineView() override;

    // The list, in list order (shared, so the many callers each second copy nothing).
    const TorrentLineList& torrents() const { return m_torrents; }
    void addTorrent(const TorrentLinePtr& torrent);
    void addTorrents(const TorrentLineList& torrents);
    // Tells each listed torrent willRemoveFromTable, takes them out, then lets waiting torrents start.
    void removeTorrents(const TorrentLineList& torrents);
    TorrentLinePtr torrentForInfoHash(const QByteArray& infoHash) const;
    TransferItem* itemFor(const TorrentLine* torrent) const;

    // Listed torrents that are neither paused, waiting nor complete (halted ones count).
    int numberOfDownloadingTorrents() const;
    // Starts waiting torrents in list order while fewer than the queue limit download.
    void updateQueueState();

    TorrentLineList selectedTorrents() const;  // torrent rows only, row order
    TorrentLinePtr selectedTorrent() const;    // a file row answers its torrent
    // The full path of the selected row (the one selected last among several) when it exists on disk.
    QString selectedPath() const;
    // The selected rows whose content exists on disk, in row order: what Quick Look shows, each through
    // its preview item (a song still downloading through a copy of what has arrived).
    QList<const OBLine*> selectedPreviewLines() const;

    // Actions.
    void removeDownloads(const TorrentLineList& torrents);
    void removeSelected();
    void clearAllComplete();
    void openSelected() { openSelectedWithApplication(QString()); }
    // Empty desktop file: the default application.
    void openSelectedWithApplication(const QString& desktopFile);
    void revealSelected();
    void toggleQuickLook();
    void activateRow(const QModelIndex& index, bool openInstead);
    // "Add to Music Library": each selected complete file that the library takes goes to the action.
    void setAddToLibraryAction(std::function<void(const QString& path)> action) { m_addToLibrary = std::move(action); }
    bool canOpenSelectedIniTunes() const;
    void addSongToPlaylist();

    // The commands of the Transfers menu and the context menu, enabled as the selection allows.
    enum class MenuItem { Open, Reveal, QuickLook, Remove };
    bool validateMenuItem(MenuItem item) const;

    // The context menu after selecting the row under the point (view coordinates).
    QMenu* menuForPoint(const QPoint& point);
    void selectRowAtPoint(const QPoint& point);

    int heightOfRow(const PZOutlineObject& object, int level) const override;
    void initTabView() override;
    PZPredicateRef predicateForTypeIndex(int index) const override;

signals:
    // After a removal: the controller recounts and tells the selection anew.
    void torrentsRemoved();

protected:
    // The animation runs only while the list is shown: a hidden list costs no wake-ups.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Tab: the toolbar search field; Shift+Tab: the transfers row.
    bool focusNextPrevChild(bool next) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void settingChanged(const QString& key);
    void animationTimer();
    TransferItem* selectedRowItem() const;
    void followSelectionInPreview();
    // The preview of the selected rows: shown (bringUp) or, when open, brought up to date. Copies are made
    // on the thread pool and shown once all are there; a later look supersedes an earlier one.
    void showPreview(bool bringUp);
    void presentPreview(const QStringList& paths, bool bringUp);
    void openPath(const QString& path, const QString& desktopFile, bool complete);
    QMenu* openWithSubmenuForPath(const QString& path, QWidget* parent);

    QHash<QByteArray, TransferItem*> m_infoHashMap;
    QHash<const TorrentLine*, TransferItem*> m_items;
    TorrentLineList m_torrents;  // the listed torrents, in list order
    QTimer* m_animationTimer;
    QPointer<PreviewWindow> m_preview;
    quint64 m_previewLook = 0;
    std::function<void(const QString& path)> m_addToLibrary;
};

}  // namespace ombrelay
