#pragma once

#include <functional>

namespace ombrelay::test {

// Runs the event loop until `condition` holds or `timeoutMs` passed; returns the condition's last value.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

// Runs the event loop for `ms`, for checks that something does not happen.
void spinFor(int ms);

}  // namespace ombrelay::test
