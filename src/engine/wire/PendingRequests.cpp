#include "engine/wire/PendingRequests.h"

namespace ombrelay {

void PendingRequests::share(std::shared_ptr<RequestedBlocks> shared)
{
    clear();
    m_shared = shared ? std::move(shared) : std::make_shared<RequestedBlocks>();
}

bool PendingRequests::add(quint64 block, quint32 length)
{
    if (!m_blocks.emplace(block, length).second)
        return false;
    m_shared->add(block);
    return true;
}

std::optional<quint32> PendingRequests::lengthOf(quint64 block) const
{
    const auto it = m_blocks.find(block);
    return it == m_blocks.end() ? std::nullopt : std::optional<quint32>(it->second);
}

bool PendingRequests::remove(quint64 block)
{
    if (m_blocks.erase(block) == 0)
        return false;
    m_shared->remove(block);
    return true;
}

std::vector<std::pair<quint64, quint32>> PendingRequests::takePiece(quint32 piece)
{
    std::vector<std::pair<quint64, quint32>> taken;
    auto it = m_blocks.lower_bound(key(piece, 0));
    while (it != m_blocks.end() && quint32(it->first >> 32) == piece) {
        taken.emplace_back(*it);
        m_shared->remove(it->first);
        it = m_blocks.erase(it);
    }
    return taken;
}

void PendingRequests::clear()
{
    for (const auto& [block, length] : m_blocks)
        m_shared->remove(block);
    m_blocks.clear();
}

} // namespace ombrelay
