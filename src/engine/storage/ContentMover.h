#pragma once

#include <QString>
#include <atomic>

namespace ombrelay {

// Moves a torrent's content (one file or a folder tree) to another disk, where a rename cannot: copies
// it beside its destination, synced to disk, for the caller to rename into place before the source is
// removed. Runs off the main thread. A failed copy leaves the source as it was and removes the part
// already copied.
class ContentMover
{
public:
    // The hidden name the copy is made under, in the destination's folder.
    static QString partialPath(const QString& destination);
    // Copies `from` to `to` (which must not exist): files with their data, times and modes, folders,
    // symbolic links. False with the error text when anything could not be copied, or when `stop` was set
    // meanwhile (checked between chunks); nothing is left at `to` then.
    static bool copy(const QString& from, const QString& to, QString* error, const std::atomic<bool>* stop = nullptr);
    // Deletes a file, a symbolic link or a folder tree (never following links).
    static bool removeTree(const QString& path);
};

}  // namespace ombrelay
