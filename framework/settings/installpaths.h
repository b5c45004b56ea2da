#pragma once
// Where an installed program finds its shipped files. The install tree keeps them at fixed
// places relative to the executables (bin/ beside share/kpr/ and lib/<arch>/kpr/), so the
// same binaries run from /usr, from another prefix or from a package extracted anywhere;
// a program run from the build tree finds nothing there and uses the build's own paths.

#include <QString>

namespace kpr {

// The shipped data folder (layouts, menu) of an installed tree, or empty when the program
// does not run from one.
QString installedDataDir();
// The folder of the installed packages (libkpr04700.so, ...), or empty.
QString installedPackageDir();

} // namespace kpr
