#include "shell/packageloader.h"

#include "framework/core/abort.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace kpr::shell {

namespace {
using Procedure = void (*)();
// PackageLoad answers 0 when the package is ready, anything else when its start failed.
using LoadProcedure = int (*)();
} // namespace

PackageLoader::~PackageLoader()
{
    unloadAll();
}

PackageLoader::Package *PackageLoader::find(const QString &package)
{
    for (Package &p : m_packages)
        if (p.name == package)
            return &p;
    return nullptr;
}

QString PackageLoader::resolvePath(const QString &package) const
{
    if (package.contains(u'/'))
        return package;
    for (const QString &folder : m_searchPath) {
        const QString candidate = QDir(folder).filePath(package);
        if (QFileInfo::exists(candidate))
            return candidate;
    }
    return package; // let the dynamic loader search its own path
}

Status PackageLoader::load(const QString &package)
{
    if (find(package))
        return {};
    auto lib = std::make_unique<QLibrary>(resolvePath(package));
    if (!lib->load())
        return makeError(u"Não foi possível carregar o pacote %1: %2"_s.arg(package, lib->errorString()));
    if (auto init = reinterpret_cast<LoadProcedure>(lib->resolve("PackageLoad"))) {
        int result = 1;
        if (!runGuarded([&] { result = init(); }) || result != 0) {
            lib->unload();
            return makeError(u"O pacote %1 não pôde ser iniciado."_s.arg(package));
        }
    }
    m_packages.push_back(Package{package, std::move(lib)});
    return {};
}

Status PackageLoader::call(const QString &package, const QString &procedure)
{
    if (const Status loaded = load(package); !loaded)
        return loaded;
    Package *p = find(package);
    const QByteArray symbol = procedure.toUtf8();
    auto proc = reinterpret_cast<Procedure>(p->library->resolve(symbol.constData()));
    if (!proc)
        return makeError(u"O pacote %1 não exporta o procedimento %2."_s.arg(package, procedure));
    runGuarded(proc);
    return {};
}

void PackageLoader::unloadAll()
{
    while (!m_packages.empty()) {
        Package &p = m_packages.back();
        if (auto fini = reinterpret_cast<Procedure>(p.library->resolve("PackageUnload")))
            runGuarded(fini);
        p.library->unload();
        m_packages.pop_back();
    }
}

QStringList PackageLoader::loadedPackages() const
{
    QStringList names;
    for (const Package &p : m_packages)
        names << p.name;
    return names;
}

Result<OpenRequest> OpenRequest::parse(const QString &text)
{
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0 || colon == text.size() - 1)
        return makeError(u"--open espera PACOTE:PROCEDIMENTO, recebeu \"%1\"."_s.arg(text));
    return OpenRequest{text.left(colon), text.mid(colon + 1)};
}

} // namespace kpr::shell
