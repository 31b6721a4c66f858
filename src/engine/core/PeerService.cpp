#include "engine/core/PeerService.h"

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

PeerService*& installed()
{
    static PeerService* service = nullptr;
    return service;
}

}  // namespace

PeerService& PeerService::instance()
{
    static NoPeers none;
    return installed() ? *installed() : none;
}

void PeerService::install(PeerService* service)
{
    installed() = service;
}

}  // namespace ombrelay
