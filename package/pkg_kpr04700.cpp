// Pkg_kpr04700: the package's entry points, the only names it exports. The host's package
// loader calls PackageLoad once after loading the library, IniProc each time the user opens
// the statement, and PackageUnload before unloading. No exception crosses these C entries:
// each runs behind the handler boundary, which shows an error and swallows an abort.
#include "cfr/screen/cli_kpr04700.h"
#include "email/cli_kpr04701.h"
#include "framework/core/abort.h"
#include "framework/core/units.h"

#define KPR_PACKAGE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr char unitEmail[] = "Cli_kpr04701";
constexpr char unitRelatorio[] = "Cli_kpr04700";

} // namespace

// Answers 0 when the package is ready. A unit whose start fails is shown, the units started
// before it are finalized again, and the answer tells the loader to unload the package.
KPR_PACKAGE_EXPORT int PackageLoad()
{
    const bool ok = kpr::runGuarded([] {
        // The packages this one requires (framework, base screens) are loaded by the
        // dynamic loader before this runs; then the package's own units, e-mail first.
        kpr::initializeUnit(unitEmail, kpr::cfr::Cli_kpr04701_Initialization);
        kpr::initializeUnit(unitRelatorio, kpr::cfr::Cli_kpr04700_Initialization);
    });
    if (ok)
        return 0;
    kpr::runGuarded([] {
        kpr::finalizeUnit(unitRelatorio, kpr::cfr::Cli_kpr04700_Finalization);
        kpr::finalizeUnit(unitEmail, kpr::cfr::Cli_kpr04701_Finalization);
    });
    return 1;
}

KPR_PACKAGE_EXPORT void PackageUnload()
{
    kpr::runGuarded([] {
        kpr::finalizeUnit(unitRelatorio, kpr::cfr::Cli_kpr04700_Finalization);
        kpr::finalizeUnit(unitEmail, kpr::cfr::Cli_kpr04701_Finalization);
    });
}

KPR_PACKAGE_EXPORT void IniProc()
{
    kpr::runGuarded(kpr::cfr::CriaCFR);
}
