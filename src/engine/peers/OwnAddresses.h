#pragma once

#include "engine/peers/PeerAddress.h"

#include <QSet>

namespace ombrelay {

// The addresses at which this process's own listener is reached, learnt when a connection joined us to
// ourselves: the accepting side knows the address that was dialled, the dialling side the address it
// dialled. Peers at these addresses are neither dialled nor stored. Main thread only.
class OwnAddresses
{
public:
    // The process's addresses, shared by every torrent.
    static OwnAddresses& instance();

    void add(const PeerAddress& address) { m_addresses.insert(address); }
    bool contains(const PeerAddress& address) const { return m_addresses.contains(address); }

private:
    QSet<PeerAddress> m_addresses;
};

}  // namespace ombrelay
