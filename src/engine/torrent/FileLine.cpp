#include "engine/torrent/FileLine.h"

#include "engine/core/TorrentLifecycle.h"
#include "engine/torrent/PathComponent.h"
#include "engine/torrent/TorrentLine.h"

namespace ombrelay {

FileLine::FileLine(const QString& name, TorrentLine* torrent, OBLine* parent, quint32 fileIndex)
    : m_torrent(torrent), m_parent(parent)
{
    setPath(name);
    setFileIndex(fileIndex);
}

void FileLine::updateFullPaths(const QString& parentPath)
{
    setFullPath(parentPath.isEmpty() ? QString() : PathComponent::join(parentPath, path()));
    for (const auto& child : children())
        static_cast<FileLine*>(child.get())->updateFullPaths(fullPath());
}

PZRange FileLine::byteRange() const
{
    if (isLeaf() && !isFolder())
        return OBLine::byteRange();
    if (isLeaf())
        return {};
    // From its first byte to its last: padding between its files lies inside.
    const quint64 start = children().front()->byteRange().location;
    return PZMakeRange(start, PZMaxRange(children().back()->byteRange()) - start);
}

PZRange FileLine::blockRange() const
{
    return m_torrent ? m_torrent->blockRangeForByteRange(byteRange()) : PZRange{};
}

const PZIndexSet& FileLine::blocks() const
{
    static const PZIndexSet none;
    if (!m_torrent)
        return none;
    if (!m_blocks)
        m_blocks = m_torrent->blocksForByteRange(byteRange());
    return *m_blocks;
}

QString FileLine::torrentPath() const
{
    return m_torrent ? m_torrent->torrentPath() : QString();
}

TorrentLinePtr FileLine::btDownload() const
{
    return m_torrent ? m_torrent->btDownload() : nullptr;
}

bool FileLine::isDownloading() const
{
    return btDownload() != nullptr;
}

bool FileLine::isInitializing() const
{
    return m_torrent && m_torrent->isInitializing();
}

int FileLine::checkboxStateCheckingBTDownload(bool checkingDownload) const
{
    if (!isFolder())
        return checkingDownload ? (m_state == Skipped ? Skipped : Wanted) : m_state;
    bool sawWanted = false;
    bool sawSkipped = false;
    for (const auto& child : children()) {
        const int state = static_cast<const FileLine*>(child.get())->checkboxStateCheckingBTDownload(checkingDownload);
        if (state == Mixed)
            return Mixed;
        (state == Wanted ? sawWanted : sawSkipped) = true;
    }
    if (sawWanted && sawSkipped)
        return Mixed;
    return sawWanted ? Wanted : Skipped;
}

void FileLine::storeState(int state)
{
    if (!isFolder())
        m_state = state;
    for (const auto& child : children())
        static_cast<FileLine*>(child.get())->storeState(state);
}

bool FileLine::setCheckboxState(int state, bool update)
{
    if (state != Wanted && state != Skipped)
        return false;
    // The torrent keeps at least one wanted file: an empty download would count as complete.
    if (state == Skipped && holdsEveryWantedFile())
        return false;
    storeState(state);
    if (update && m_torrent && isDownloading()) {
        m_torrent->statePlistNeedsUpdate();
        m_torrent->updateNeededPieces();
    }
    return true;
}

bool FileLine::holdsEveryWantedFile() const
{
    if (!m_torrent)
        return false;
    int wantedHere = 0;
    for (const OBLine* file : childrenFlat())
        wantedHere += static_cast<const FileLine*>(file)->m_state == Wanted ? 1 : 0;
    return wantedHere > 0 && wantedHere >= m_torrent->numberOfActiveFiles();
}

bool FileLine::checkboxIsEnabled() const
{
    // A click that could only be refused shows a disabled box, be it a file or a folder.
    if (holdsEveryWantedFile())
        return false;
    return !(checkboxState() == Wanted && isComplete());
}

void FileLine::performAction()
{
    if (!m_torrent)
        return;
    if (!isDownloading()) {
        // Download only this content.
        for (FileLine* file : m_torrent->files())
            file->storeState(Skipped);
        storeState(Wanted);
        if (TorrentLinePtr torrent = m_torrent->weak_from_this().lock())
            TorrentLifecycle::instance().downloadTorrentLines({torrent});
        return;
    }
    setCheckboxState(checkboxState() == Skipped ? Wanted : Skipped, true);
}

bool FileLine::isComplete() const
{
    const TorrentLinePtr live = btDownload();
    if (!live)
        return false;
    if (isFolder()) {
        for (const auto& child : children())
            if (!child->isComplete())
                return false;
        return true;
    }
    return m_state != Skipped && live->hasDownloadedAllBlocksForFile(*this);
}

float FileLine::fractionLoaded() const
{
    if (isComplete())
        return 1.0f;
    const TorrentLinePtr live = btDownload();
    const PZRange blocks = blockRange();
    if (!live || blocks.length == 0)
        return 0.0f;
    return float(live->downloadedBlocks().countWithinRange(blocks.location, blocks.length)) / float(blocks.length);
}

int FileLine::compareTransferColumn(const OBLine& other) const
{
    const quint64 mine = fileLength();
    const quint64 theirs = other.fileLength();
    return mine < theirs ? -1 : mine > theirs ? 1 : 0;
}

}  // namespace ombrelay
