#pragma once

#include <QString>

namespace ombrelay {

class PZIndexSet;
class TorrentLine;

// The files of a torrent that were on disk before it. Nothing is written over them before its pieces
// there are checked: a file that holds data none of whose pieces verify is someone else's, and the
// torrent then stays paused with the reason (and checks again when resumed). Main thread only.
class ExistingFilesCheck
{
public:
    // Whether some file of the torrent holds data.
    static bool anyHoldsData(const TorrentLine& torrent);
    // A file of the torrent that holds data and none of whose pieces verified: not the torrent's data.
    static QString unrelatedFile(const TorrentLine& torrent, const PZIndexSet& verifiedPieces);
    // Checks the files of a torrent parked for it (TorrentLine::isCheckingFiles) on its store's queue,
    // then hands the torrent the verdict; once passed, its empty files are made. Nothing while its
    // check runs already.
    static void start(TorrentLine& torrent);

private:
    static void finish(TorrentLine& torrent, const QString& refusal);
};

}  // namespace ombrelay
