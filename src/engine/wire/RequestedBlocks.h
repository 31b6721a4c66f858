#pragma once

#include <QtGlobal>
#include <unordered_map>

namespace ombrelay {

// How many connections of one torrent have each block requested and not answered yet, so that a
// connection leaves blocks in flight elsewhere alone until nothing else is missing. Blocks are named
// by (piece << 32 | offset). Main thread only.
class RequestedBlocks
{
public:
    void add(quint64 block) { ++m_counts[block]; }
    void remove(quint64 block);
    int count(quint64 block) const;

private:
    std::unordered_map<quint64, int> m_counts; // only blocks requested at least once
};

} // namespace ombrelay
