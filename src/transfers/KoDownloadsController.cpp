#include "transfers/KoDownloadsController.h"

#include "engine/core/PeerService.h"
#include "engine/core/TorrentLifecycle.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/NotificationCenter.h"
#include "kit/PerformLater.h"
#include "kit/PZBandwidth.h"
#include "kit/PZFileSize.h"
#include "platform/VolumeMonitor.h"
#include "transfers/DownloadsOutlineView.h"

#include <algorithm>
#include "transfers/DownloadsPaneFileCell.h"
#include "transfers/DownloadsPaneView.h"
#include "transfers/StatsView.h"
#include "uikit/PZAlert.h"
#include "transfers/TransferItem.h"
#include "transfers/TransfersInfoArea.h"
#include "uikit/FilterBackground.h"
#include "uikit/FilterSearchField.h"
#include "uikit/PZRoundTabView.h"

#include <QApplication>
#include <QFileInfo>
#include <QDir>
#include <QFileDialog>
#include <QVBoxLayout>

namespace ombrelay {

KoDownloadsController::KoDownloadsController(VolumeMonitor& volumes, QObject* parent)
    : QObject(parent), m_volumes(volumes), m_currentDownload(*this)
{
    auto* pane = new DownloadsPaneView();
    m_mainView = pane;
    m_tabView = new PZRoundTabView();
    m_filterField = new FilterSearchField();
    m_outlineView = new DownloadsOutlineView();
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 1, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(FilterBackground::barWith(m_tabView, m_filterField));
    layout->addWidget(m_outlineView, 1);
    m_outlineView->setUp(m_tabView, m_filterField);
    m_outlineView->bindSortDescriptorsToSetting(QStringLiteral("DownloadsPaneSortDescriptors"));
    m_infoArea = new TransfersInfoArea(*this);
    layout->addWidget(m_infoArea);
    m_statsView = new StatsView();
    connect(m_statsView, &StatsView::transfersViewSeen, this, [this] { updateCell(nullptr); });

    connect(m_outlineView, &PZOutlineView::selectionDidChange, this, &KoDownloadsController::selectionDidChange);
    connect(m_outlineView, &DownloadsOutlineView::torrentsRemoved, this, [this] {
        m_completeCount = numberOfComplete();
        selectionDidChange();
        statsUpdated();
        invalidateBindingsText();
        redisplayBadge();
    });
    connect(&m_volumes, &VolumeMonitor::mountsChanged, this, &KoDownloadsController::mountsChanged);
    DownloadsPaneFileCell::setUnattachedDiskAction([this](TorrentLine& torrent) { runUnmountedAlertForTorrent(torrent); });
}

KoDownloadsController::~KoDownloadsController()
{
    PerformLater::cancel(this);
    DownloadsPaneFileCell::setUnattachedDiskAction({});
    delete m_statsView;
    delete m_mainView;
}

TorrentLineList KoDownloadsController::objects() const
{
    return m_outlineView->torrents();
}

int KoDownloadsController::numberOfPausedTorrents() const
{
    int count = 0;
    for (const TorrentLinePtr& torrent : m_outlineView->torrents())
        count += torrent->isPaused() ? 1 : 0;
    return count;
}

int KoDownloadsController::numberOfConnectingTorrents() const
{
    int count = 0;
    for (const TorrentLinePtr& t : m_outlineView->torrents())
        count += t->isDownloading() && !t->isActive() && !t->isComplete() && !t->isPaused() && !t->isWaiting() &&
                         !t->isHalted()
                     ? 1
                     : 0;
    return count;
}

int KoDownloadsController::numberOfActiveTorrents() const
{
    int count = 0;
    for (const TorrentLinePtr& torrent : m_outlineView->torrents())
        count += torrent->isActive() ? 1 : 0;
    return count;
}

int KoDownloadsController::numberOfComplete() const
{
    int count = 0;
    for (const TorrentLinePtr& torrent : m_outlineView->torrents())
        count += torrent->isComplete() ? 1 : 0;
    return count;
}

int KoDownloadsController::numberOfDownloadingTorrents() const
{
    return m_outlineView->numberOfDownloadingTorrents();
}

float KoDownloadsController::downstreamBandwidthUsage() const
{
    float sum = 0;
    for (const TorrentLinePtr& torrent : m_outlineView->torrents())
        if (torrent->downloadState() == TorrentLine::Downloading)
            sum += torrent->downloadRate();
    return sum;
}

float KoDownloadsController::upstreamBandwidthUsage() const
{
    float sum = 0;
    for (const TorrentLinePtr& torrent : m_outlineView->torrents())
        sum += torrent->uploadRate();
    return sum;
}

void KoDownloadsController::invalidateBindingsText()
{
    float downloaded = 0;
    float uploaded = 0;
    for (const TorrentLinePtr& torrent : m_outlineView->torrents()) {
        downloaded += float(torrent->amountDownloaded().value());
        uploaded += float(torrent->amountUploaded().value());
    }
    const auto bytes = [](float value) { return value > 0 ? quint64(value) : quint64(0); };
    m_downloadsText = PZFileSize::sizeWithValue(bytes(downloaded)).description();
    m_uploadsText = PZFileSize::sizeWithValue(bytes(uploaded)).description();
    m_downloadsRateText = PZBandwidth::sizeWithValue(bytes(downstreamBandwidthUsage())).description();
    m_uploadsRateText = PZBandwidth::sizeWithValue(bytes(upstreamBandwidthUsage())).description();
    emit bindingsTextChanged();
}

void KoDownloadsController::watchTexts(const TorrentLinePtr& line)
{
    connect(line.get(), &TorrentLine::bindingTextChanged, this, [this] { m_textsChanged = true; });
}

bool KoDownloadsController::listMayHaveChanged() const
{
    if (m_textsChanged)
        return true;
    const TorrentLineList& torrents = m_outlineView->torrents();
    return std::any_of(torrents.begin(), torrents.end(),
                       [](const TorrentLinePtr& torrent) { return torrent->downloadRate() > 0 || torrent->uploadRate() > 0; });
}

void KoDownloadsController::addDownload(const TorrentLinePtr& line)
{
    if (!line)
        return;
    watchTexts(line);
    m_outlineView->addTorrent(line);
    m_completeCount = numberOfComplete();
    updateCell(nullptr);
    m_outlineView->viewport()->update();
}

void KoDownloadsController::addDownloads(const TorrentLineList& lines)
{
    if (lines.isEmpty())
        return;
    for (const TorrentLinePtr& line : lines)
        watchTexts(line);
    m_outlineView->addTorrents(lines);
    m_completeCount = numberOfComplete();
    updateCell(nullptr);
    m_outlineView->viewport()->update();
}

void KoDownloadsController::removeDownloads(const TorrentLineList& lines)
{
    m_outlineView->removeTorrents(lines);
}

void KoDownloadsController::selectObjects(const TorrentLineList& lines)
{
    QList<PZOutlineObject*> rows;
    for (const TorrentLinePtr& line : lines)
        if (TransferItem* item = m_outlineView->itemFor(line.get()))
            rows.append(item);
    m_outlineView->selectObjects(rows);
    // The highest selected row comes into view.
    QModelIndex highest;
    for (const PZOutlineObject* row : rows) {
        const QModelIndex index = m_outlineView->indexForObject(row);
        if (index.isValid() && (!highest.isValid() || index.row() < highest.row()))
            highest = index;
    }
    if (highest.isValid())
        m_outlineView->scrollTo(highest);
}

TorrentLinePtr KoDownloadsController::selectedObject() const
{
    return m_outlineView->selectedTorrent();
}

TorrentLinePtr KoDownloadsController::torrentForInfoHash(const QByteArray& infoHash) const
{
    return m_outlineView->torrentForInfoHash(infoHash);
}

void KoDownloadsController::updateQueueState()
{
    m_outlineView->updateQueueState();
}

void KoDownloadsController::selectionDidChange()
{
    const TorrentLinePtr selected = selectedObject();
    if (selected)
        selected->invalidateBindingsText();
    m_currentDownload.setContent(selected);
    postNotificationAboutSelf(this, QString::fromLatin1(kSelectionDidChangeNotification));
}

void KoDownloadsController::rebuildArrays()
{
    // A torrent counts once it completes after being seen incomplete in this run; the marks go when
    // the user sees the transfers.
    const bool seen = m_statsView && m_statsView->isTransfersViewSeen();
    QSet<const TorrentLine*> incomplete;
    QSet<const TorrentLine*> completed;
    for (const TorrentLinePtr& torrent : m_outlineView->torrents()) {
        if (!torrent->isComplete())
            incomplete.insert(torrent.get());
        else if (!seen && (m_seenIncomplete.contains(torrent.get()) || m_recentlyCompleted.contains(torrent.get())))
            completed.insert(torrent.get());
    }
    m_seenIncomplete = std::move(incomplete);
    m_recentlyCompleted = std::move(completed);
}

void KoDownloadsController::updateCell(const TorrentLine*)
{
    rebuildArrays();
    m_outlineView->rebuildTabView();
    if (m_statsView) {
        KoDrawerStatsDownloadsCell& cell = m_statsView->downloadsCell();
        bool changed = cell.setNumberOfPaused(numberOfPausedTorrents());
        changed |= cell.setNumberOfConnecting(numberOfConnectingTorrents());
        changed |= cell.setNumberOfActive(numberOfActiveTorrents());
        changed |= cell.setNumberOfComplete(numberOfRecentlyCompleted());
        changed |= cell.setNetBandwidth(downstreamBandwidthUsage());
        if (changed)
            m_statsView->update();
    }
    emit countsChanged();
}

void KoDownloadsController::statsUpdated()
{
    // A list that reads as it did a second ago is neither sorted nor drawn again.
    if (listMayHaveChanged()) {
        m_textsChanged = false;
        m_outlineView->rearrangeObjects();
        m_outlineView->viewport()->update();
    }
    updateCell(nullptr);
}

void KoDownloadsController::markListForRedraw()
{
    m_outlineView->viewport()->update();
}

void KoDownloadsController::validateToolbar()
{
    emit countsChanged();
}

void KoDownloadsController::rebuildFilterTabs()
{
    m_outlineView->rebuildTabView();
    PerformLater::scheduleOnce(this, [this] { startQueuedAfterCompletion(); }, 0,
                               QStringLiteral("startQueuedAfterCompletion"));
}

void KoDownloadsController::startQueuedAfterCompletion()
{
    const int complete = numberOfComplete();
    const bool completed = complete > m_completeCount;
    m_completeCount = complete;
    if (completed)
        updateQueueState();
}

void KoDownloadsController::showDownloadsPane()
{
    emit showPaneRequested();
    // Torrents just added or found are selected in the list, which takes the keys.
    m_outlineView->setFocus(Qt::OtherFocusReason);
}

bool KoDownloadsController::isOnUnattachedVolume(const TorrentLine& torrent) const
{
    // Judged by the mount the download folder was on when the torrent was added: an unmounted disk
    // leaves its mount point behind as an empty folder on the disk above it. A finished torrent halted
    // until it can move into its download folder waits for that folder's disk.
    const QString awaited = torrent.awaitedMountPoint();
    return (!torrent.downloadPath().isEmpty() &&
            m_volumes.isDetached(torrent.downloadPath(), torrent.downloadMountPoint())) ||
           (!awaited.isEmpty() && m_volumes.isDetached(awaited, awaited));
}

void KoDownloadsController::mountsChanged(const QStringList& added, const QStringList& removed)
{
    if (!added.isEmpty())
        didMount();
    if (!removed.isEmpty())
        didUnmount();
}

void KoDownloadsController::didUnmount()
{
    for (const TorrentLinePtr& torrent : objects()) {
        if (!isOnUnattachedVolume(*torrent))
            continue;
        TorrentLifecycle::instance().purgeCachedDescriptors(*torrent);
        if (torrent->isHalted())
            continue;  // keeps the state it had before the first halt
        torrent->setResumeState(torrent->downloadState());
        torrent->setDownloadState(TorrentLine::Halted);
        PeerService::instance().disconnectFromPeers(*torrent);
    }
    updateCell(nullptr);
}

void KoDownloadsController::didMount()
{
    for (const TorrentLinePtr& torrent : objects()) {
        if (!torrent->isHalted())
            continue;
        TorrentLifecycle::instance().purgeCachedDescriptors(*torrent);
        if (isOnUnattachedVolume(*torrent))
            continue;
        if (torrent->resumeState() == TorrentLine::Downloading) {
            torrent->retryDownload();
            continue;
        }
        torrent->setDownloadState(torrent->resumeState());
        // A check of the files already there, cut by the halt or waiting for the disk, runs now.
        if (torrent->isCheckingFiles())
            TorrentLifecycle::instance().checkExistingFiles(*torrent);
        if (!torrent->awaitedMountPoint().isEmpty()) {
            torrent->setAwaitedMountPoint({});
            torrent->enterCompletedState();  // moves it into its download folder now
        }
    }
    updateCell(nullptr);
}

QString KoDownloadsController::volumeNameFor(const TorrentLine& torrent) const
{
    // The disk the torrent was recorded on: where the folder is mounted now says nothing once it is away.
    if (!torrent.awaitedMountPoint().isEmpty())
        return VolumeMonitor::volumeName(torrent.awaitedMountPoint());
    const QString recorded = torrent.downloadMountPoint();
    return VolumeMonitor::volumeName(recorded.isEmpty() ? m_volumes.mountPointToRecord(torrent.downloadPath()) : recorded);
}

void KoDownloadsController::runUnmountedAlertForTorrent(TorrentLine& torrent)
{
    PZAlert::run(PZAlert::unattachedDisk(volumeNameFor(torrent)), m_mainView ? m_mainView->window() : nullptr,
                 [](int) {});
}

void KoDownloadsController::chooseDownloadFolder(const QString& message, const QString& startFolder,
                                                 std::function<void(const QString& folder)> done)
{
    auto* dialog = new QFileDialog(m_mainView ? m_mainView->window() : nullptr, message, startFolder);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::finished, dialog, [dialog, done](int result) {
        done(result == QDialog::Accepted && !dialog->selectedFiles().isEmpty() ? dialog->selectedFiles().first()
                                                                                : QString());
    });
    dialog->open();
}

void KoDownloadsController::confirmRightToCopy(const RightToCopyPrompt& prompt,
                                               std::function<void(bool confirmed, bool suppress)> done)
{
    PZAlert alert{prompt.message, prompt.informativeText,
                        {tr("I have the right to copy this content"), tr("Cancel")}, prompt.suppressionTitle};
    QWidget* window = m_mainView ? m_mainView->window() : nullptr;
    if (window && window->isVisible()) {
        window->raise();
        window->activateWindow();
    }
    PZAlert::run(alert, window, [done](int button, bool suppress) { done(button == 0, suppress); });
}

void KoDownloadsController::setDesktopHooks(DesktopHooks hooks)
{
    m_hooks = std::move(hooks);
    m_outlineView->setAddToLibraryAction(m_hooks.addToLibrary);
}

void KoDownloadsController::notifyCompletedDownload(const QString& path)
{
    if (m_hooks.completedDownload)
        m_hooks.completedDownload(path);
}

void KoDownloadsController::requestAttention()
{
    if (m_mainView)
        QApplication::alert(m_mainView->window());
    if (m_hooks.attention)
        m_hooks.attention();
}

void KoDownloadsController::redisplayBadge()
{
    emit countsChanged();
}

void KoDownloadsController::beep()
{
    QApplication::beep();
}

bool KoDownloadsController::shouldHandOverFile(const QString& path) const
{
    return m_hooks.shouldHandOver && m_hooks.shouldHandOver(path);
}

bool KoDownloadsController::handOverCompletedPath(const QString& path)
{
    return m_hooks.handOver && m_hooks.handOver(path, pathInTorrent(path));
}

QString KoDownloadsController::pathInTorrent(const QString& path) const
{
    for (const TorrentLinePtr& torrent : objects()) {
        const QString root = torrent->fullPath();
        if (path.startsWith(root + QLatin1Char('/')))
            return torrent->path() + path.mid(root.size());
    }
    return QFileInfo(path).fileName();
}

}  // namespace ombrelay
