#pragma once

#include "engine/core/EngineHost.h"
#include "engine/torrent/OBLine.h"
#include "engine/torrent/PZIndexSet.h"

#include <optional>

namespace ombrelay {

// One folder or file of a torrent. Folders keep no checkbox state of their own: they report the
// aggregate of their children. Full paths are set for the whole tree whenever the torrent's download
// folder changes, so the storage thread reads them without racing a lazy computation.
class FileLine : public OBLine
{
public:
    FileLine(const QString& name, TorrentLine* torrent, OBLine* parent, quint32 fileIndex = kNoFileIndex);

    TorrentLine* torrent() const { return m_torrent; }
    OBLine* parent() const { return m_parent; }
    bool isFolder() const { return fileIndex() == kNoFileIndex; }

    PZRange byteRange() const override;  // a folder's: from its first child, its children's lengths
    // The torrent's blocks overlapping the line's bytes: a run of block numbers (location, count).
    PZRange blockRange() const;
    const PZIndexSet& blocks() const;  // the same as a set; built on first use, main thread only

    QString torrentPath() const;
    TorrentLinePtr btDownload() const;
    bool isDownloading() const;
    bool isInitializing() const;
    bool isActive() const { return false; }

    // Checkbox: 0 wanted, 1 skipped, 2 mixed (a folder with both).
    int checkboxState() const override { return checkboxStateCheckingBTDownload(isDownloading()); }
    int checkboxStateCheckingBTDownload(bool checkingDownload) const;
    void setCheckboxState(int state) override { setCheckboxState(state, true); }
    // A folder passes the state to every line under it; a file stores it. Skipping that would leave the
    // torrent without any wanted file is refused (false). With `update`, a live torrent rewrites its state
    // file and recomputes its wanted pieces.
    bool setCheckboxState(int state, bool update);
    bool shouldDownload() const { return m_state != Skipped; }
    bool checkboxIsEnabled() const;
    void performAction();

    bool isComplete() const override;
    float fractionLoaded() const override;

    int compareTransferColumn(const OBLine& other) const override;

private:
    friend class TorrentLine;
    void storeState(int state);  // the whole subtree, no checks
    // Every file the torrent still wants lies in this line (a wanted file, or a folder holding them all).
    bool holdsEveryWantedFile() const;
    void updateFullPaths(const QString& parentPath);  // empty parent path: none

    TorrentLine* m_torrent;
    OBLine* m_parent;
    int m_state = Wanted;
    mutable std::optional<PZIndexSet> m_blocks;
};

}  // namespace ombrelay
