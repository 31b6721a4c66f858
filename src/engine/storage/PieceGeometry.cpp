#include "engine/storage/PieceGeometry.h"

#include <algorithm>

namespace ombrelay {

PieceGeometry::PieceGeometry(qint64 pieceLength, qint64 totalLength)
{
    if (pieceLength <= 0 || pieceLength >= (qint64(1) << 31) || totalLength <= 0)
        return;
    const qint64 pieces = (totalLength - 1) / pieceLength + 1;
    if (pieces > qint64(0xFFFFFFFFu))
        return;
    m_pieceLength = pieceLength;
    m_totalLength = totalLength;
    m_pieceCount = quint32(pieces);
    m_blocksPerPiece = quint32((pieceLength + kBlockSize - 1) / kBlockSize);
    m_blockCount = quint64(m_pieceCount - 1) * m_blocksPerPiece + blocksInPiece(m_pieceCount - 1);
}

qint64 PieceGeometry::bytesInPiece(quint32 piece) const
{
    if (piece >= m_pieceCount)
        return 0;
    if (piece + 1 < m_pieceCount)
        return m_pieceLength;
    return m_totalLength - qint64(m_pieceCount - 1) * m_pieceLength;
}

quint32 PieceGeometry::blocksInPiece(quint32 piece) const
{
    return quint32((bytesInPiece(piece) + kBlockSize - 1) / kBlockSize);
}

PieceGeometry::Span PieceGeometry::pieceSpan(quint32 piece) const
{
    return {qint64(piece) * m_pieceLength, bytesInPiece(piece)};
}

quint64 PieceGeometry::blockIndex(quint32 piece, quint32 offset) const
{
    return quint64(piece) * m_blocksPerPiece + offset / kBlockSize;
}

PieceGeometry::Span PieceGeometry::blockSpan(quint64 block) const
{
    if (block >= m_blockCount)
        return {};
    const quint32 piece = pieceOfBlock(block);
    const qint64 offset = offsetOfBlock(block);
    const qint64 start = qint64(piece) * m_pieceLength + offset;
    const qint64 length = std::min({bytesInPiece(piece) - offset, m_totalLength - start, kBlockSize});
    return {start, length};
}

bool PieceGeometry::isWholeBlock(quint32 piece, quint32 offset, qint64 length) const
{
    if (piece >= m_pieceCount || offset % kBlockSize != 0 || offset >= bytesInPiece(piece))
        return false;
    return length == blockLength(blockIndex(piece, offset));
}

bool PieceGeometry::isInsidePiece(quint32 piece, quint32 offset, qint64 length) const
{
    return piece < m_pieceCount && length > 0 && qint64(offset) + length <= bytesInPiece(piece);
}

PieceGeometry::IndexRange PieceGeometry::piecesOverlapping(Span span) const
{
    if (span.length <= 0 || span.start < 0 || span.start >= m_totalLength)
        return {};
    const qint64 end = std::min(span.end(), m_totalLength);
    return {quint64(span.start / m_pieceLength), quint64((end - 1) / m_pieceLength)};
}

PieceGeometry::IndexRange PieceGeometry::blocksOverlapping(Span span) const
{
    const IndexRange pieces = piecesOverlapping(span);
    if (pieces.isEmpty())
        return {};
    const qint64 end = std::min(span.end(), m_totalLength);
    const auto blockAt = [this](qint64 byte) {
        const qint64 piece = byte / m_pieceLength;
        return quint64(piece) * m_blocksPerPiece + quint64((byte - piece * m_pieceLength) / kBlockSize);
    };
    return {blockAt(span.start), blockAt(end - 1)};
}

}  // namespace ombrelay
