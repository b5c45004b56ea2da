// A package for the loader test. Its counters are read back through counts().
#include "framework/core/abort.h"
#include "framework/core/units.h"

#include <QtGlobal>

#include <stdexcept>

namespace {
int loads = 0, unloads = 0, procs = 0, unitInits = 0, unitFinis = 0;
}

extern "C" {
// KPR_TEST_PACKAGE_FAILS set: the start fails, as a package whose unit cannot start.
__attribute__((visibility("default"))) int PackageLoad()
{
    ++loads;
    if (qEnvironmentVariableIsSet("KPR_TEST_PACKAGE_FAILS"))
        return 1;
    kpr::initializeUnit("TestUnit", [] { ++unitInits; });
    return 0;
}
__attribute__((visibility("default"))) void PackageUnload()
{
    ++unloads;
    kpr::finalizeUnit("TestUnit", [] { ++unitFinis; });
}
__attribute__((visibility("default"))) void Open()
{
    ++procs;
}
__attribute__((visibility("default"))) void Throws()
{
    throw std::runtime_error("falha no pacote");
}
__attribute__((visibility("default"))) void Aborts()
{
    kpr::Abort();
}
__attribute__((visibility("default"))) int counts(int which)
{
    const int all[] = {loads, unloads, procs, unitInits, unitFinis};
    return all[which];
}
}
