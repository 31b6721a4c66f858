#pragma once

#include "engine/wire/RequestedBlocks.h"

#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace ombrelay {

// One connection's requests not answered yet, block (piece << 32 | offset) to length, kept in step
// with the torrent's count of requests in flight over all its connections.
class PendingRequests
{
public:
    PendingRequests() : m_shared(std::make_shared<RequestedBlocks>()) {}
    ~PendingRequests() { clear(); }
    PendingRequests(const PendingRequests&) = delete;
    PendingRequests& operator=(const PendingRequests&) = delete;

    static quint64 key(quint32 piece, quint32 offset) { return (quint64(piece) << 32) | offset; }

    // Counts in the torrent's requests from now on (before any is added); null keeps a count of our own.
    void share(std::shared_ptr<RequestedBlocks> shared);
    const RequestedBlocks& torrentRequests() const { return *m_shared; }

    // False when the block is pending already.
    bool add(quint64 block, quint32 length);
    std::optional<quint32> lengthOf(quint64 block) const;
    bool remove(quint64 block);
    // Removes the piece's blocks and answers them with their lengths.
    std::vector<std::pair<quint64, quint32>> takePiece(quint32 piece);
    void clear();
    int size() const { return int(m_blocks.size()); }
    const std::map<quint64, quint32>& blocks() const { return m_blocks; }

private:
    std::map<quint64, quint32> m_blocks;
    std::shared_ptr<RequestedBlocks> m_shared;
};

} // namespace ombrelay
