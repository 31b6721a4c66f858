#include "engine/core/PeerService.h"

#include "engine/core/InstalledService.h"

namespace ombrelay {
namespace {

class NoPeers final : public PeerService
{
public:
    Counts peerCounts(const TorrentLine&) const override { return {}; }
    quint64 pendingPieceSize(const TorrentLine&) const override { return 0; }
    void connectToPeers() override {}
    void disconnectFromPeers(TorrentLine&) override {}
    void optimizePeerConnections(TorrentLine&) override {}
    void cancelUnneededPieces(TorrentLine&) override {}
};

}  // namespace

PeerService& PeerService::instance()
{
    static NoPeers none;
    return InstalledService<PeerService>::get(none);
}

void PeerService::install(PeerService* service)
{
    InstalledService<PeerService>::set(service);
}

}  // namespace ombrelay
