#pragma once
// Counted unit initialization, as the runtime does it for units that several packages
// share: a unit's initialization runs only for the first package that loads it, and its
// finalization only when the last one unloads. Runs on the user-interface thread.

#include <functional>

namespace kpr {

// Runs init when unit is not yet initialized; otherwise only counts the extra user.
void initializeUnit(const char *unit, const std::function<void()> &init);
// Counts one user off; runs fini when it was the last. Unknown units are ignored.
void finalizeUnit(const char *unit, const std::function<void()> &fini);
int unitUseCount(const char *unit);

} // namespace kpr
