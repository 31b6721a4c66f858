#pragma once

#include <functional>
#include <memory>

namespace ombrelay {

// The one single-shot timer a port mapper waits with: for an answer, then for the renewal or the next
// attempt. Tests replace it to fire by hand.
class MappingTimer
{
public:
    virtual ~MappingTimer() = default;
    // Replaces any pending shot.
    virtual void start(int delayMs, std::function<void()> onFire) = 0;
    virtual void stop() = 0;
};

// A timer on the current thread's event loop.
std::unique_ptr<MappingTimer> makeEventLoopMappingTimer();

} // namespace ombrelay
