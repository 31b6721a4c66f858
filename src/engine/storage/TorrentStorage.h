#pragma once

#include "engine/storage/PieceStore.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <memory>

namespace ombrelay {

class TorrentLine;

// A started torrent's data on disk: its piece store, built from the torrent's files and what its
// session folder recorded, and the store's verdicts applied to the torrent and its peers. The peer wire
// hands every received block to blockArrived. Main thread only.
class TorrentStorage : public QObject
{
    Q_OBJECT
public:
    // Pieces a peer may spoil before it is banned (a sole source is banned at once).
    static constexpr int kFailedPiecesBeforeBan = 3;

    // `sessionFolder` holds the bitfield files and the peers database.
    TorrentStorage(TorrentLine& torrent, const QString& sessionFolder);
    ~TorrentStorage() override;

    PieceStore& store() { return *m_store; }
    const PieceStore& store() const { return *m_store; }
    const QString& sessionFolder() const { return m_sessionFolder; }

    // A block of `piece` at `offset` came from `peer` ("a.b.c.d:port"): counted as downloaded, its sender
    // remembered for blame, and queued for writing. False when the store refuses it (not a block of this
    // torrent, or its piece is verified already); nothing is counted then.
    bool blockArrived(const QString& peer, quint32 piece, quint32 offset, const QByteArray& data);

    // Failed pieces blamed on the peer's address, whatever its port.
    int failedPieces(const QString& peer) const { return m_failures.value(addressOf(peer)); }

private:
    void pieceVerified(quint32 piece);
    void pieceFailed(quint32 piece);
    void writeFailed(quint64 block, const QString& error, bool detached);
    void piecesLost(const QVector<quint32>& pieces);
    void existingDataChecked(const PZIndexSet& verified);
    void forgetDownloadedBlocks(quint32 piece);
    // The peers whose blocks make up the piece; none when a block of it came before this start (or its
    // sender is not known), as no one can tell which bytes were wrong.
    QSet<QString> sendersToBlame(quint32 piece) const;
    static QString addressOf(const QString& peer);  // "a.b.c.d" of "a.b.c.d:port"
    void forgetSenders(quint32 piece);
    void addDownloadedBlocks(quint32 piece);
    void recountDownloaded();
    void halt();
    void updateTorrentLater();

    TorrentLine& m_torrent;
    QString m_sessionFolder;
    std::unique_ptr<PieceStore> m_store;
    // The sender of each block written since this start, until its piece is verified, fails or is lost.
    QHash<quint64, QString> m_senders;
    QHash<QString, int> m_failures;  // by address
};

}  // namespace ombrelay
