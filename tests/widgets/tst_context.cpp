// Context values from defaults, the configuration file and --set; the system-scope registry.
#include "framework/settings/context.h"
#include "framework/settings/registry.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;

class TstContext : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;

    QString writeFile(const QString &name, const QByteArray &text)
    {
        const QString path = tmp.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        f.write(text);
        return path;
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() { Context::instance().reset(); }

    void defaults()
    {
        QCOMPARE(WebURL(), u"127.0.0.1"_s);
        QCOMPARE(WebPort(), 8211);
        QVERIFY(ReportDir().endsWith(u"/layouts"_s));
        const QString db = Context::instance().values().Database;
        QVERIFY2(db.startsWith(u"sqlite:/"_s) && db.endsWith(u"/kpr/kpr.db"_s), qPrintable(db));
        QVERIFY(FiliProcFat().isEmpty());
        QVERIFY(!ModuFili());
    }

    void fileThenSetWithSetWinning()
    {
        const QString ini = writeFile(u"shell.ini"_s,
                                      "; the branch of this workstation\n"
                                      "[General]\n"
                                      "FiliProc=0002\n"
                                      "NomeFiliProc=Filial Centro, SP\n"  // a comma is text, not a list
                                      "webport = 9000\n"                  // keys match without regard to case
                                      "ReportDir=\" /opt/kpr/layouts\"\n" // quotes keep the leading blank
                                      "[Shell]\n"
                                      "Unrelated=left to its owner\n");
        // --set given before --config still wins: the file is read first.
        const Status st = configureContext(
            {u"kpr-shell"_s, u"--set"_s, u"WebPort=9100"_s, u"--config"_s, ini, u"--set=ModuFili=S"_s});
        QVERIFY2(st.ok(), qPrintable(st.error()));
        QCOMPARE(FiliProc(), u"0002"_s);
        QCOMPARE(NomeFiliProc(), u"Filial Centro, SP"_s);
        QCOMPARE(WebPort(), 9100);
        QVERIFY(ModuFili());
        QCOMPARE(ReportDir(), u" /opt/kpr/layouts"_s);
        QCOMPARE(WebURL(), u"127.0.0.1"_s); // not named anywhere: the default
    }

    void badInputIsRefusedWithItsName()
    {
        Status st = Context::instance().applySettings({u"FiliProc=0003"_s, u"Filail=0004"_s});
        QVERIFY(!st.ok());
        QVERIFY2(st.error().contains(u"\"Filail\""_s) && st.error().contains(u"FiliProc"_s), qPrintable(st.error()));
        QCOMPARE(FiliProc(), u"0003"_s); // items before the bad one stay applied

        st = Context::instance().applySettings({u"WebPort=80a"_s});
        QVERIFY(!st.ok());
        QCOMPARE(WebPort(), 8211);
        QVERIFY(!Context::instance().applySettings({u"ModuFili=talvez"_s}).ok());
        QVERIFY(!Context::instance().applySettings({u"semigual"_s}).ok());

        const QString ini = writeFile(u"bad.ini"_s, "FiliProc=0001\nDataBase=sqlite:/x\nCor=azul\n");
        st = configureContext({u"--config"_s, ini});
        QVERIFY(!st.ok());
        QVERIFY2(st.error().contains(u"linha 3"_s) && st.error().contains(u"Cor"_s), qPrintable(st.error()));

        st = configureContext({u"--config"_s, tmp.filePath(u"missing.ini"_s)});
        QVERIFY(!st.ok());
        QVERIFY(st.error().contains(u"missing.ini"_s));
        QVERIFY(!configureContext({u"--set"_s}).ok());
    }

    void registryRoundTrip()
    {
        QTemporaryDir etc;
        QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, etc.path());
        Registry reg;
        QCOMPARE(reg.readString(u"WorkDir"_s, u"none"_s), u"none"_s);
        const Status st = reg.writeString(u"WorkDir"_s, u"/srv/kpr/work, 2"_s);
        QVERIFY2(st.ok(), qPrintable(st.error()));
        QVERIFY(QFile::exists(etc.filePath(u"Kpr/Kpr.conf"_s)));
        QCOMPARE(Registry().readString(u"WorkDir"_s), u"/srv/kpr/work, 2"_s);
        // Parts of a key may be written the host's way.
        QVERIFY(reg.writeString(u"Geral\\Empresa"_s, u"Kpr"_s).ok());
        QCOMPARE(reg.readString(u"Geral/Empresa"_s), u"Kpr"_s);

        // A registry that cannot be written says so (a file where the folder should be).
        QTemporaryDir blocked;
        QFile block(blocked.filePath(u"Kpr"_s));
        QVERIFY(block.open(QIODevice::WriteOnly));
        block.close();
        QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, blocked.path());
        const Status bad = Registry().writeString(u"WorkDir"_s, u"/x"_s);
        QVERIFY(!bad.ok());
        QVERIFY2(bad.error().contains(u"Kpr.conf"_s), qPrintable(bad.error()));
    }
};

QTEST_GUILESS_MAIN(TstContext)
#include "tst_context.moc"
