#include "engine/core/EngineHost.h"

#include "engine/core/HeadlessEngineHost.h"

namespace ombrelay {
namespace {

EngineHost*& installed()
{
    static EngineHost* host = nullptr;
    return host;
}

}  // namespace

EngineHost& EngineHost::instance()
{
    static HeadlessEngineHost headless;
    return installed() ? *installed() : headless;
}

void EngineHost::install(EngineHost* host)
{
    installed() = host;
}

}  // namespace ombrelay
