#include "engine/core/DhtService.h"

namespace ombrelay {
namespace {

class NoDht final : public DhtService
{
public:
    void findPeersForTorrent(TorrentLine&) override {}
    void addNodes(const QList<DhtNodeAddress>&) override {}
};

DhtService*& installed()
{
    static DhtService* service = nullptr;
    return service;
}

}  // namespace

DhtService& DhtService::instance()
{
    static NoDht none;
    return installed() ? *installed() : none;
}

void DhtService::install(DhtService* service)
{
    installed() = service;
}

}  // namespace ombrelay
