#pragma once

#include <functional>

namespace ombrelay::test {

// Runs the event loop until `condition` holds or `timeoutMs` passed; returns the condition's last value.
// The default is generous: it costs nothing when the condition comes, and a busy machine running the
// sanitizer build beside a whole test run can take seconds to start a web page or a window.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 15000);

// Runs the event loop for `ms`, for checks that something does not happen.
void spinFor(int ms);

}  // namespace ombrelay::test
