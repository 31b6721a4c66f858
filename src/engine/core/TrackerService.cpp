#include "engine/core/TrackerService.h"

#include "engine/core/InstalledService.h"

namespace ombrelay {
namespace {

class NoTrackers final : public TrackerService
{
public:
    void announce(TorrentLine&, TrackerEvent) override {}
    void scrape(TorrentLine&) override {}
    void forget(TorrentLine&) override {}
};

}  // namespace

TrackerService& TrackerService::instance()
{
    static NoTrackers none;
    return InstalledService<TrackerService>::get(none);
}

void TrackerService::install(TrackerService* service)
{
    InstalledService<TrackerService>::set(service);
}

}  // namespace ombrelay
