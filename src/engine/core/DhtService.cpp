#include "engine/core/DhtService.h"

#include "engine/core/InstalledService.h"

namespace ombrelay {
namespace {

class NoDht final : public DhtService
{
public:
    void findPeersForTorrent(TorrentLine&) override {}
    void addNodes(const QList<DhtNodeAddress>&) override {}
};

}  // namespace

DhtService& DhtService::instance()
{
    static NoDht none;
    return InstalledService<DhtService>::get(none);
}

void DhtService::install(DhtService* service)
{
    InstalledService<DhtService>::set(service);
}

}  // namespace ombrelay
