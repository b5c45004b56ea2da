// Loading packages, calling their procedures by name, counted unit set-up, and --open.
#include "framework/core/abort.h"
#include "framework/core/units.h"
#include "shell/menuconfig.h"
#include "shell/packageloader.h"

#include <QLibrary>
#include <QTest>

#include <dlfcn.h>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::shell;

class TstPackageLoader : public QObject
{
    Q_OBJECT

    QStringList shown;
    enum { Loads, Unloads, Procs, UnitInits, UnitFinis };

    static int count(int which)
    {
        // The library stays loaded while the loader holds it; this handle only reads.
        QLibrary lib(QString::fromUtf8(KPR_TEST_PACKAGE));
        auto fn = reinterpret_cast<int (*)(int)>(lib.resolve("counts"));
        return fn ? fn(which) : -1;
    }

private slots:
    void init()
    {
        shown.clear();
        setErrorPresenter([this](const QString &t) { shown << t; });
    }

    void loadsOnceAndCallsByName()
    {
        PackageLoader loader;
        const QString pkg = QString::fromUtf8(KPR_TEST_PACKAGE);
        QVERIFY(loader.call(pkg, u"Open"_s).ok());
        QVERIFY(loader.call(pkg, u"Open"_s).ok());
        QCOMPARE(count(Loads), 1);
        QCOMPARE(count(Procs), 2);
        QCOMPARE(loader.loadedPackages(), QStringList{pkg});

        // Errors inside a procedure are shown, never thrown across the C entry point.
        QVERIFY(loader.call(pkg, u"Throws"_s).ok());
        QVERIFY(loader.call(pkg, u"Aborts"_s).ok());
        QCOMPARE(shown, QStringList{u"falha no pacote"_s});

        const Status missing = loader.call(pkg, u"NaoExiste"_s);
        QVERIFY(!missing.ok());
        QVERIFY(missing.error().contains(u"NaoExiste"_s));

        // A second handle keeps the code mapped, so the counters can be read after unload.
        // (dlopen, not QLibrary: QLibrary handles of one file share one load count.)
        void *keep = dlopen(KPR_TEST_PACKAGE, RTLD_NOW);
        QVERIFY(keep);
        auto counts = reinterpret_cast<int (*)(int)>(dlsym(keep, "counts"));
        QVERIFY(counts);
        loader.unloadAll();
        QVERIFY(loader.loadedPackages().isEmpty());
        QCOMPARE(counts(Unloads), 1);
        QCOMPARE(counts(UnitInits), 1);
        QCOMPARE(counts(UnitFinis), 1);
        dlclose(keep);
    }

    // A package whose start fails is not kept: the call fails with its name.
    void failedStartIsNotLoaded()
    {
        qputenv("KPR_TEST_PACKAGE_FAILS", "1");
        PackageLoader loader;
        const QString pkg = QString::fromUtf8(KPR_TEST_PACKAGE);
        const Status s = loader.call(pkg, u"Open"_s);
        qunsetenv("KPR_TEST_PACKAGE_FAILS");
        QVERIFY(!s.ok());
        QVERIFY2(s.error().contains(u"não pôde ser iniciado"_s), qPrintable(s.error()));
        QVERIFY(loader.loadedPackages().isEmpty());
    }

    void unknownPackage()
    {
        PackageLoader loader;
        const Status s = loader.call(u"libnao-existe.so"_s, u"IniProc"_s);
        QVERIFY(!s.ok());
        QVERIFY(s.error().startsWith(u"Não foi possível carregar o pacote libnao-existe.so"_s));
    }

    void countedUnits()
    {
        // Two packages share a unit: it initializes for the first, finalizes after the last.
        int inits = 0, finis = 0;
        initializeUnit("Shared", [&] { ++inits; });
        initializeUnit("Shared", [&] { ++inits; });
        QCOMPARE(inits, 1);
        finalizeUnit("Shared", [&] { ++finis; });
        QCOMPARE(finis, 0);
        finalizeUnit("Shared", [&] { ++finis; });
        QCOMPARE(finis, 1);
        finalizeUnit("Shared", [&] { ++finis; }); // one unload too many changes nothing
        QCOMPARE(finis, 1);
        QCOMPARE(unitUseCount("Shared"), 0);
    }

    void openRequests()
    {
        const auto r = OpenRequest::parse(u"libkpr04700.so:IniProc"_s);
        QVERIFY(r.ok());
        QCOMPARE(r->package, u"libkpr04700.so"_s);
        QCOMPARE(r->procedure, u"IniProc"_s);
        QVERIFY(!OpenRequest::parse(u"libkpr04700.so"_s).ok());
        QVERIFY(!OpenRequest::parse(u"libkpr04700.so:"_s).ok());
    }

    void menuFile()
    {
        const auto m = parseMenu(u"# comentário\n\nCFR|libkpr04700.so|IniProc\n"_s, u"menu.conf"_s);
        QVERIFY(m.ok());
        QCOMPARE(m->size(), 1);
        QCOMPARE(m->first().caption, u"CFR"_s);
        const auto bad = parseMenu(u"CFR|libkpr04700.so\n"_s, u"menu.conf"_s);
        QVERIFY(!bad.ok());
        QCOMPARE(bad.error(), u"menu.conf, linha 1: esperado \"título|pacote|procedimento\"."_s);
    }
};

QTEST_GUILESS_MAIN(TstPackageLoader)
#include "tst_packageloader.moc"
