#pragma once

#include <algorithm>

#include <QtGlobal>

namespace ombrelay {

// How a torrent's bytes are cut into pieces and 16 KiB blocks. Blocks are numbered across the torrent and
// never cross a piece boundary; the last piece and its last block may be shorter.
class PieceGeometry
{
public:
    static constexpr qint64 kBlockSize = 16384;

    struct Span
    {
        qint64 start = 0;
        qint64 length = 0;
        qint64 end() const { return start + length; }
        bool overlaps(const Span& other) const { return std::max(start, other.start) < std::min(end(), other.end()); }
        bool operator==(const Span&) const = default;
    };

    PieceGeometry() = default;
    // Valid only when 0 < pieceLength < 2^31 and 0 < totalLength (so that every count fits).
    PieceGeometry(qint64 pieceLength, qint64 totalLength);

    bool isValid() const { return m_pieceCount > 0; }
    qint64 pieceLength() const { return m_pieceLength; }
    qint64 totalLength() const { return m_totalLength; }
    quint32 pieceCount() const { return m_pieceCount; }
    quint32 blocksPerPiece() const { return m_blocksPerPiece; }
    quint64 blockCount() const { return m_blockCount; }

    qint64 bytesInPiece(quint32 piece) const;
    quint32 blocksInPiece(quint32 piece) const;
    Span pieceSpan(quint32 piece) const;

    quint64 blockIndex(quint32 piece, quint32 offset) const;
    quint64 firstBlockOfPiece(quint32 piece) const { return quint64(piece) * m_blocksPerPiece; }
    quint32 pieceOfBlock(quint64 block) const { return quint32(block / m_blocksPerPiece); }
    quint32 offsetOfBlock(quint64 block) const { return quint32((block % m_blocksPerPiece) * kBlockSize); }
    Span blockSpan(quint64 block) const;
    qint64 blockLength(quint64 block) const { return blockSpan(block).length; }

    // A block we accept from a peer: an existing piece, a block-aligned offset inside it and exactly the
    // length of that block.
    bool isWholeBlock(quint32 piece, quint32 offset, qint64 length) const;
    // A span we may read for a peer or a check: inside one existing piece and not empty.
    bool isInsidePiece(quint32 piece, quint32 offset, qint64 length) const;

    // First and last (inclusive) piece or block overlapping a byte span; first > last when none does.
    struct IndexRange
    {
        quint64 first = 1;
        quint64 last = 0;
        bool isEmpty() const { return first > last; }
    };
    IndexRange piecesOverlapping(Span span) const;
    IndexRange blocksOverlapping(Span span) const;

private:
    qint64 m_pieceLength = 0;
    qint64 m_totalLength = 0;
    quint32 m_pieceCount = 0;
    quint32 m_blocksPerPiece = 0;
    quint64 m_blockCount = 0;
};

}  // namespace ombrelay
