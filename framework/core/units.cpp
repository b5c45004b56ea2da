#include "framework/core/units.h"

#include <map>
#include <string>

namespace kpr {

namespace {
std::map<std::string, int> &useCounts()
{
    static std::map<std::string, int> counts;
    return counts;
}
} // namespace

void initializeUnit(const char *unit, const std::function<void()> &init)
{
    int &count = useCounts()[unit];
    if (count++ == 0 && init)
        init();
}

void finalizeUnit(const char *unit, const std::function<void()> &fini)
{
    auto it = useCounts().find(unit);
    if (it == useCounts().end() || it->second == 0)
        return;
    if (--it->second == 0 && fini)
        fini();
}

int unitUseCount(const char *unit)
{
    auto it = useCounts().find(unit);
    return it == useCounts().end() ? 0 : it->second;
}

} // namespace kpr
