// Reads arbitrary bytes as a metainfo file and, when they are accepted, checks the tree the torrent model
// builds: every full path lies under the download folder, files follow one another within the torrent
// (padding between them is no file), the geometry matches the piece hashes. Also parses the bytes as a
// magnet link.
#include "engine/torrent/FileLine.h"
#include "engine/torrent/MagnetURL.h"
#include "engine/torrent/PathComponent.h"
#include "engine/torrent/TorrentLine.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace ombrelay;

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "*** metainfo fuzz: %s\n", what);
        std::abort();
    }
}

void checkTree(const OBLine& line, const QString& parentPath)
{
    for (const auto& child : line.children()) {
        check(PathComponent::isPlain(child->path()), "a component that is not plain");
        check(child->fullPath() == parentPath + QLatin1Char('/') + child->path(), "a full path off its parent");
        checkTree(*child, child->fullPath());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));

    const MagnetURL magnet(QString::fromLatin1(input));
    check(magnet.infoHash().isEmpty() || magnet.infoHash().size() == 20, "a magnet hash of the wrong size");

    const TorrentLinePtr torrent = TorrentLine::torrentLineForData(input);
    if (!torrent)
        return 0;
    check(torrent->infoHash().size() == 20, "no info hash");
    check(torrent->torrentData() == input, "the metainfo bytes changed");
    check(PathComponent::isPlain(torrent->path()), "a torrent name that is not plain");
    check(torrent->pieceLength() > 0 && torrent->pieceLength() < (quint64(1) << 31), "piece length out of range");
    const quint64 total = torrent->totalLength();
    check(total > 0, "an empty torrent");
    check(torrent->totalNumberOfPieces() == (total - 1) / torrent->pieceLength() + 1, "pieces do not match");
    check(torrent->blockRangeForByteRange(PZMakeRange(0, total)).length == torrent->totalNumberOfBlocks(),
          "blocks do not cover the torrent");

    const QString folder = QStringLiteral("/fuzz/downloads");
    torrent->setDownloadPath(folder);
    check(torrent->fullPath() == folder + QLatin1Char('/') + torrent->path(), "the torrent lies elsewhere");
    checkTree(*torrent, torrent->fullPath());

    quint64 offset = 0;
    for (const FileLine* file : torrent->files()) {
        check(file->byteRange().location >= offset, "files do not follow one another");
        offset = PZMaxRange(file->byteRange());
        check(file->fullPath().startsWith(torrent->fullPath() + QLatin1Char('/')), "a file outside the torrent");
    }
    check(offset <= total, "files reach past the torrent");
    check(!torrent->filesText().isEmpty() && !torrent->pathListString().isEmpty(), "no summary texts");
    check(torrent->fractionLoaded() == 0.0f, "progress without data");
    return 0;
}
