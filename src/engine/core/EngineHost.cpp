#include "engine/core/EngineHost.h"

#include "engine/core/HeadlessEngineHost.h"
#include "engine/core/InstalledService.h"

namespace ombrelay {

EngineHost& EngineHost::instance()
{
    static HeadlessEngineHost headless;
    return InstalledService<EngineHost>::get(headless);
}

void EngineHost::install(EngineHost* host)
{
    InstalledService<EngineHost>::set(host);
}

}  // namespace ombrelay
