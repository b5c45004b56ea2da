// A package for the loader test. Its counters are read back through counts().
#include "framework/core/abort.h"
#include "framework/core/units.h"

#include <stdexcept>

namespace {
int loads = 0, unloads = 0, procs = 0, unitInits = 0, unitFinis = 0;
}

extern "C" {
__attribute__((visibility("default"))) void PackageLoad()
{
    ++loads;
    kpr::initializeUnit("TestUnit", [] { ++unitInits; });
}
__attribute__((visibility("default"))) void PackageUnload()
{
    ++unloads;
    kpr::finalizeUnit("TestUnit", [] { ++unitFinis; });
}
__attribute__((visibility("default"))) void Open() { ++procs; }
__attribute__((visibility("default"))) void Throws() { throw std::runtime_error("falha no pacote"); }
__attribute__((visibility("default"))) void Aborts() { kpr::Abort(); }
__attribute__((visibility("default"))) int counts(int which)
{
    const int all[] = {loads, unloads, procs, unitInits, unitFinis};
    return all[which];
}
}
