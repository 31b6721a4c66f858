#include "engine/core/DhtService.h"
#include "engine/core/EngineHost.h"
#include "engine/core/PeerService.h"
#include "engine/core/TorrentLifecycle.h"
#include "engine/core/TrackerService.h"
#include "engine/storage/TorrentStorage.h"
#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/NotificationCenter.h"
#include "kit/PerformLater.h"
#include "kit/RepeatingTimers.h"
#include "kit/Settings.h"
#include "kit/TextHelpers.h"
#include "platform/VolumeMonitor.h"

#include <QCoreApplication>
#include <utility>

namespace ombrelay {
namespace {

int oneMinuteTimerInterval = TorrentLine::kOneMinuteTimerInterval;

int ordering(bool after)
{
    return after ? 1 : -1;
}

template <typename T>
int compareValues(T a, T b)
{
    return a < b ? -1 : b < a ? 1 : 0;
}

}  // namespace

void TorrentLine::setOneMinuteTimerInterval(int ms)
{
    oneMinuteTimerInterval = ms;
}

// State changes.

void TorrentLine::setDownloadState(int state)
{
    m_downloadState = state;
    if (state == None)
        return;
    invalidateValues();
    invalidateBindingsText();
    EngineHost& host = EngineHost::instance();
    host.markListForRedraw();
    host.validateToolbar();
    host.rebuildFilterTabs();
    host.invalidateBindingsText();
    writeStatePlist();
}

void TorrentLine::beginDownloadWithState(int state)
{
    TorrentLifecycle::instance().prepareStorage(*this);
    if (TorrentLifecycle::instance().isOnUnattachedVolume(*this)) {
        m_downloadState = Halted;
        m_resumeState = state;
    } else {
        m_downloadState = state;
    }
    m_amountRequested.setValue(0);
    m_amountDownloaded.setValue(0);
    m_amountUploaded.setValue(0);
    m_downloadBandwidth = AverageBandwidth();
    m_uploadBandwidth = AverageBandwidth();
    m_uploadBandwidth.setNumberOfSeconds(6);

    updateNeededPieces();

    if (m_downloadState == Downloading || isSeeding()) {
        TrackerService::instance().announce(*this, TrackerEvent::Started);
        DhtService& dht = DhtService::instance();
        dht.addNodes(m_dhtNodes);
        dht.findPeersForTorrent(*this);
    }

    RepeatingTimers::instance().start(this, oneMinuteTimerInterval,
                                      [this] { PeerService::instance().optimizePeerConnections(*this); });
    // Lists showing the line as a result draw it as a transfer now.
    postNotificationAboutSelf(this, QStringLiteral("TorrentLineStatusUpdated"));
}

void TorrentLine::pauseDownload()
{
    m_downloadBandwidth.discardAllStats();
    m_uploadBandwidth.discardAllStats();
    setDownloadState(Paused);
    PeerService::instance().disconnectFromPeers(*this);
    PerformLater::schedule(
        this, [this] { TrackerService::instance().announce(*this, TrackerEvent::Stopped); }, 0,
        QStringLiteral("stoppedEvent"));
    TorrentLifecycle::instance().purgeCachedDescriptors(*this);
    EngineHost::instance().updateCell(nullptr);
}

void TorrentLine::pauseWithError(const QString& error)
{
    if (isHalted() || m_downloadState == None || !m_errorText.isEmpty())
        return;
    qWarning("*** %s: %s", qPrintable(path()), qPrintable(error));
    m_errorText = error;
    if (isPaused()) {
        invalidateBindingsText();
        writeStatePlist();
    } else {
        pauseDownload();
    }
}

void TorrentLine::retryDownload()
{
    m_errorText.clear();
    if (!TorrentLifecycle::instance().writeMissingSessionFolder(*this))
        return;
    if (m_stateAfterCheck != None) {
        // Its files may hold someone else's data: checked again before anything is written.
        m_stateAfterCheck = Downloading;
        if (isPaused()) {
            invalidateBindingsText();
            writeStatePlist();
        } else {
            setDownloadState(Paused);
        }
        TorrentLifecycle::instance().checkExistingFiles(*this);
        EngineHost::instance().updateCell(nullptr);
        return;
    }
    PerformLater::cancel(this, QStringLiteral("stoppedEvent"));
    m_downloadBandwidth.discardAllStats();
    m_uploadBandwidth.discardAllStats();
    // A torrent that holds every wanted piece (paused by an error once complete) has nothing to fetch.
    const bool complete = holdsEveryWantedPiece();
    if (complete)
        enterCompletedState();
    else
        setDownloadState(Downloading);
    if (!complete || isSeeding()) {
        PeerService::instance().connectToPeers();
        TrackerService::instance().announce(*this, TrackerEvent::Started);
        DhtService::instance().findPeersForTorrent(*this);
    }
    EngineHost::instance().updateCell(nullptr);
}

void TorrentLine::existingFilesChecked(const QString& refusal)
{
    if (!refusal.isEmpty()) {
        pauseWithError(refusal);
        return;
    }
    const int next = std::exchange(m_stateAfterCheck, None);
    // It held its place in the queue while it was checked; one meant to wait waits for room.
    if (next == Waiting && Settings::instance().boolean(QStringLiteral("kDownloadQueueEnabled"))) {
        setDownloadState(Waiting);
        EngineHost::instance().updateQueueState();
    } else {
        retryDownload();
    }
}

void TorrentLine::updateNeededPieces()
{
    if (!m_files.isEmpty() && hasDisabledFiles()) {
        m_neededPieces = PZIndexSet(totalNumberOfPieces());
        m_neededBlocks = PZIndexSet(totalNumberOfBlocks());
        for (const FileLine* file : m_files) {
            if (!file->shouldDownload())
                continue;
            const PZRange pieces = pieceRangeForByteRange(file->byteRange());
            for (quint64 p = pieces.location; p < PZMaxRange(pieces); ++p)
                m_neededPieces.addIndex(p);
            const PZRange blocks = file->blockRange();
            for (quint64 b = blocks.location; b < PZMaxRange(blocks); ++b)
                m_neededBlocks.addIndex(b);
        }
    } else {
        m_neededPieces = PZIndexSet::filledSetWithLength(totalNumberOfPieces());
        m_neededBlocks = PZIndexSet::filledSetWithLength(totalNumberOfBlocks());
    }

    if (m_downloadState != None) {
        if (hasDownloadedAllNeededPieces()) {
            if (m_downloadState == Halted)
                m_resumeState = Complete;  // completes when its disk comes back
            else
                enterCompletedState();
        } else if (m_downloadState == Complete) {
            setDownloadState(Downloading);
            PeerService::instance().connectToPeers();
        } else if (m_downloadState == Halted && m_resumeState == Complete) {
            m_resumeState = Downloading;
        }
    }
    PeerService::instance().cancelUnneededPieces(*this);
    if (m_storage)
        m_storage->store().setWantedPieces(m_neededPieces);

    m_downloaded = bytesOfBlocks(m_files.isEmpty() ? m_downloadedBlocks
                                                   : m_downloadedBlocks.setByIntersectingWithSet(m_neededBlocks));
    m_amountRequested.setValue(totalSize());
    invalidateValues();
}

void TorrentLine::didComplete()
{
    if (!m_shouldRelocateOnCompletion) {
        announceCompletion();
        return;
    }
    // Notices and hand-over name the final paths: they wait for the move, which may copy across disks.
    TorrentLifecycle::instance().relocateOnCompletion(*this, [weak = weak_from_this()] {
        const TorrentLinePtr self = weak.lock();
        if (self && self->downloadState() != None)
            self->announceCompletion();
    });
}

void TorrentLine::announceCompletion()
{
    EngineHost& host = EngineHost::instance();
    if (Settings::instance().boolean(QStringLiteral("kKoBounceDockIcon")))
        host.requestAttention();
    host.notifyCompletedDownload(fullPath());
    handOverCompletedFiles();
    settleAsComplete();  // the move was tried already
    // Only a download that got every piece tells the tracker; a torrent that starts complete does not.
    if (quint64(m_neededPieces.count()) == totalNumberOfPieces())
        TrackerService::instance().announce(*this, TrackerEvent::Completed);
    host.updateQueueState();
}

void TorrentLine::handOverCompletedFiles()
{
    EngineHost& host = EngineHost::instance();
    bool handedOver = false;
    const auto handOver = [&](quint32 index, const QString& path) {
        if (m_exportedIndices.containsIndex(index) || !host.shouldHandOverFile(path))
            return;
        if (host.handOverCompletedPath(path)) {
            m_exportedIndices.addIndex(index);
            handedOver = true;
        }
    };
    if (m_files.isEmpty()) {
        handOver(0, fullPath());
    } else {
        for (const FileLine* file : m_files)
            if (file->shouldDownload() && file->isComplete())
                handOver(file->fileIndex(), file->fullPath());
    }
    if (handedOver)
        writeStatePlist();
}

void TorrentLine::enterCompletedState()
{
    if (m_shouldRelocateOnCompletion)
        TorrentLifecycle::instance().relocateOnCompletion(*this, {});
    if (isHalted())
        return;  // its move waits for the disk of the download folder
    settleAsComplete();
}

void TorrentLine::settleAsComplete()
{
    m_hasStoppedSeeding = !shouldSeed();
    if (m_hasStoppedSeeding)
        PeerService::instance().disconnectFromPeers(*this);
    setDownloadState(Complete);
    EngineHost::instance().redisplayBadge();
}

void TorrentLine::willRemoveFromTable()
{
    // Complete content is never trashed, whatever state an error, a pause or a halt left the torrent in.
    const bool wasComplete = hasCompleteData();
    setDownloadState(None);
    PerformLater::cancel(this);
    TrackerService& trackers = TrackerService::instance();
    trackers.announce(*this, TrackerEvent::Stopped);
    trackers.forget(*this);
    PeerService::instance().disconnectFromPeers(*this);
    TorrentLifecycle::instance().torrentRemoved(*this, wasComplete);

    setDownloadPath(QString());
    m_downloaded = 0;
    m_bytesUploaded = 0;
    m_downloadedPieces.removeAllIndexes();
    m_storedBlocks.removeAllIndexes();
    m_downloadedBlocks.removeAllIndexes();
    RepeatingTimers::instance().stop(this);
}

void TorrentLine::performAction()
{
    EngineHost& host = EngineHost::instance();
    if (isRSSArticleLine()) {
        host.beep();
        return;
    }
    if (const TorrentLinePtr live = btDownload()) {
        host.removeDownloads({live});
        return;
    }
    if (TorrentLinePtr self = weak_from_this().lock())
        TorrentLifecycle::instance().downloadTorrentLines({self});
}

void TorrentLine::statePlistNeedsUpdate()
{
    PerformLater::schedule(this, [this] { writeStatePlist(); }, 0, QStringLiteral("writeStatePlist"));
}

void TorrentLine::writeStatePlist()
{
    PerformLater::cancel(this, QStringLiteral("writeStatePlist"));
    TorrentLifecycle::instance().writeStatePlist(*this);
}

// Questions.

bool TorrentLine::isTimerRunning() const
{
    return RepeatingTimers::instance().isActive(this);
}

bool TorrentLine::shouldSeed() const
{
    const Settings& settings = Settings::instance();
    if (!settings.boolean(QStringLiteral("kSeedingEnabled")))
        return false;
    if (!settings.boolean(QStringLiteral("kStopSeedingAtRatio")))
        return true;
    const qint64 ratio = settings.integer(QStringLiteral("kStopSeedingRatio"));
    if (ratio < 0)
        return false;
    // bytesUploaded <= ratio x length, without overflowing the product.
    const quint64 length = totalLength();
    return length == 0 || m_bytesUploaded / length < quint64(ratio) ||
           (m_bytesUploaded / length == quint64(ratio) && m_bytesUploaded % length == 0);
}

bool TorrentLine::isActive() const
{
    return !isComplete() && !isPaused() && !isWaiting() && PeerService::instance().peerCounts(*this).active > 0;
}

TorrentLinePtr TorrentLine::btDownload() const
{
    if (m_infoHash.isEmpty())
        return nullptr;
    return EngineHost::instance().torrentForInfoHash(m_infoHash);
}

bool TorrentLine::isInitializing() const
{
    if (isPaused() || isWaiting() || isHalted() || fractionLoaded() > 0)
        return false;
    const TorrentLinePtr live = btDownload();
    return (live ? live->downloadRate() : 0.0f) < 0.1f;
}

// Values.

void TorrentLine::invalidateValues()
{
    const quint64 pending = PeerService::instance().pendingPieceSize(*this);
    m_amountDownloaded.setValue(std::min(m_downloaded + pending, m_amountRequested.value()));
    m_amountUploaded.setValue(m_bytesUploaded);
    m_downloadBandwidth.updateFormatter();
    m_uploadBandwidth.updateFormatter();
    const float rate = downloadRate();
    if (isActive() && !isComplete() && rate > 0)
        m_timeRemaining = double(m_amountRequested.value() - m_amountDownloaded.value()) / rate;
    else
        m_timeRemaining = -1;
}

float TorrentLine::fractionLoaded() const
{
    if (isComplete())
        return 1.0f;
    if (m_amountRequested.value() == 0)
        return 0.0f;
    return float(double(m_amountDownloaded.value()) / double(m_amountRequested.value()));
}

void TorrentLine::setCustomDownloadLimit(int limit)
{
    m_customDownloadLimit = limit;
    m_downloadProvision.setCustomLimit(limit);
    if (!m_isDeserializing)
        statePlistNeedsUpdate();
}

void TorrentLine::setCustomUploadLimit(int limit)
{
    m_customUploadLimit = limit;
    m_uploadProvision.setCustomLimit(limit);
    if (!m_isDeserializing)
        statePlistNeedsUpdate();
}

// Texts.

void TorrentLine::setBindingText(QString& field, const QString& key, const QString& text)
{
    if (field == text && !field.isNull())
        return;
    // Kept never null, so that an empty text (a zero rate reads as null) is told once, not every second.
    field = text.isNull() ? QString(QLatin1String("")) : text;
    emit bindingTextChanged(key);
}

void TorrentLine::invalidateBindingsText()
{
    setBindingText(m_activityText, QStringLiteral("activityText"), stateDescription());
    const QString downloaded = m_amountDownloaded.description();
    const QString requested = m_amountRequested.description();
    setBindingText(m_downloadsText, QStringLiteral("downloadsText"),
                   downloaded == requested
                       ? downloaded
                       : QCoreApplication::translate("TorrentLine", "%1 of %2").arg(downloaded, requested));
    setBindingText(m_uploadsText, QStringLiteral("uploadsText"), m_amountUploaded.description());
    setBindingText(m_downloadsRateText, QStringLiteral("downloadsRateText"),
                   m_downloadState == Downloading ? m_downloadBandwidth.description() : QString(""));
    setBindingText(m_uploadsRateText, QStringLiteral("uploadsRateText"), m_uploadBandwidth.description());
}

QString TorrentLine::downloadVolumeName() const
{
    if (!m_awaitedMountPoint.isEmpty())
        return VolumeMonitor::volumeName(m_awaitedMountPoint);
    return m_downloadMountPoint.isEmpty() ? TorrentLifecycle::instance().volumeName(m_downloadPath)
                                          : VolumeMonitor::volumeName(m_downloadMountPoint);
}

QString TorrentLine::stateDescription() const
{
    if (isHalted())
        return QStringLiteral("External disk \"%1\" is not attached").arg(downloadVolumeName());
    if (isPaused() && !m_errorText.isEmpty())
        return m_errorText;
    if (isPaused() || isWaiting() || (isComplete() && !isSeeding()))
        return QString("");
    const PeerService::Counts counts = PeerService::instance().peerCounts(*this);
    if (counts.active > 0)
        return peersString(counts.activeSeeds, counts.active - counts.activeSeeds);
    if (counts.connecting == 0 || isSeeding())
        return QString("");
    if (counts.connecting == 1)
        return QCoreApplication::translate("TorrentLine", "1 peer connecting...");
    return QCoreApplication::translate("TorrentLine", "%1 peers connecting...").arg(counts.connecting);
}

QString TorrentLine::peersString(int activeSeeds, int otherActivePeers)
{
    QStringList parts;
    const QString seeds = stringWithNumberOfObjects(activeSeeds, QStringLiteral("seed"));
    const QString peers = stringWithNumberOfObjects(otherActivePeers, QStringLiteral("peer"));
    if (!seeds.isEmpty())
        parts.append(seeds);
    if (!peers.isEmpty())
        parts.append(peers);
    return parts.join(QStringLiteral(", "));
}

// Column comparisons: a positive answer sorts this torrent after the other.

int TorrentLine::compareTransferColumn(const OBLine& line) const
{
    const auto* other = dynamic_cast<const TorrentLine*>(&line);
    if (!other)
        return 0;
    if (isWaiting() != other->isWaiting())
        return ordering(!isWaiting());
    if (isPaused() != other->isPaused())
        return ordering(!isPaused());
    if (downloadRate() != other->downloadRate())
        return ordering(downloadRate() > other->downloadRate());
    if (isComplete() != other->isComplete())
        return ordering(!isComplete());
    return compareValues(m_amountRequested.value(), other->m_amountRequested.value());
}

int TorrentLine::compareProgressColumn(const OBLine& line) const
{
    const auto* other = dynamic_cast<const TorrentLine*>(&line);
    if (!other)
        return 0;
    if (isComplete() != other->isComplete())
        return ordering(isComplete());
    const bool active = isActive();
    if (active != other->isActive())
        return ordering(active);
    return compareValues(fractionLoaded(), other->fractionLoaded());
}

int TorrentLine::compareTimeColumn(const OBLine& line) const
{
    const auto* other = dynamic_cast<const TorrentLine*>(&line);
    if (!other)
        return 0;
    const double mine = m_timeRemaining;
    const double theirs = other->m_timeRemaining;
    if (mine < 0 && theirs < 0)
        return 0;
    if (mine < 0 && theirs > 0)
        return 1;
    if (theirs < 0 && mine > 0)
        return -1;
    return compareValues(float(mine), float(theirs));
}

}  // namespace ombrelay
