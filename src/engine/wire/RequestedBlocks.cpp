#include "engine/wire/RequestedBlocks.h"

namespace ombrelay {

void RequestedBlocks::remove(quint64 block)
{
    const auto it = m_counts.find(block);
    if (it != m_counts.end() && --it->second <= 0)
        m_counts.erase(it);
}

int RequestedBlocks::count(quint64 block) const
{
    const auto it = m_counts.find(block);
    return it == m_counts.end() ? 0 : it->second;
}

} // namespace ombrelay
