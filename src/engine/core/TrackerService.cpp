#include "engine/core/TrackerService.h"

namespace ombrelay {
namespace {

class NoTrackers final : public TrackerService
{
public:
    void announce(TorrentLine&, TrackerEvent) override {}
    void scrape(TorrentLine&) override {}
    void forget(TorrentLine&) override {}
};

TrackerService*& installed()
{
    static TrackerService* service = nullptr;
    return service;
}

}  // namespace

TrackerService& TrackerService::instance()
{
    static NoTrackers none;
    return installed() ? *installed() : none;
}

void TrackerService::install(TrackerService* service)
{
    installed() = service;
}

}  // namespace ombrelay
