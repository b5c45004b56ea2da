#pragma once
// Loads packages (shared libraries) into the shell and calls their exported procedures by
// name. A package may export "PackageLoad" and "PackageUnload" (plain C, no arguments):
// the loader calls PackageLoad once after loading the library and PackageUnload once
// before unloading it; packages are unloaded in the reverse order of loading.

#include "framework/core/result.h"

#include <QLibrary>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace kpr::shell {

class PackageLoader
{
public:
    PackageLoader() = default;
    ~PackageLoader();
    PackageLoader(const PackageLoader &) = delete;
    PackageLoader &operator=(const PackageLoader &) = delete;

    // Folders searched, in order, for a package named without a path.
    void setSearchPath(const QStringList &folders) { m_searchPath = folders; }
    QStringList searchPath() const { return m_searchPath; }

    // Loads the package once (later calls reuse it) and calls its exported procedure.
    // The procedure runs behind the handler boundary: an abort or error inside it is
    // shown, never thrown across the library's C entry point.
    Status call(const QString &package, const QString &procedure);
    Status load(const QString &package);
    void unloadAll();

    QStringList loadedPackages() const;

private:
    struct Package
    {
        QString name;
        std::unique_ptr<QLibrary> library;
    };
    Package *find(const QString &package);
    QString resolvePath(const QString &package) const;

    QStringList m_searchPath;
    std::vector<Package> m_packages;
};

// "PACKAGE:PROCEDURE" of the --open option.
struct OpenRequest
{
    QString package;
    QString procedure;
    static Result<OpenRequest> parse(const QString &text);
};

} // namespace kpr::shell
