// The files of the per-client export without a window: cleaned names, one file per client
// also when two codes clean alike, what a clean-up leaves, and the work directory the
// registry gives (written with the default when empty, never empty when it cannot be).
#include "cfr/report/arquivoscfr.h"
#include "framework/settings/registry.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::cfr;

namespace {

void cria(const QString &path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x");
}

} // namespace

class TstArquivosCfr : public QObject
{
    Q_OBJECT

private slots:
    void nomeLimpo_data()
    {
        QTest::addColumn<QString>("codigo");
        QTest::addColumn<QString>("nome");
        QTest::newRow("hyphen and full stop") << u"AB-12.3"_s << u"AB123"_s;
        QTest::newRow("blank") << u"A B"_s << u"AB"_s;
        QTest::newRow("all twelve") << u"<a>b:c\"d/e\\f|g.h?i j*k-l"_s << u"abcdefghijkl"_s;
        QTest::newRow("underscore and accents stay") << u"Ação_1"_s << u"Ação_1"_s;
    }

    void nomeLimpo()
    {
        QFETCH(QString, codigo);
        QFETCH(QString, nome);
        QCOMPARE(trataNome(codigo), nome);
        QCOMPARE(ExtensaoFormato(fPDF), u".PDF"_s);
    }

    // 12.3 and 123 clean alike: each keeps a file of its own that begins with the cleaned
    // code and "_", and a later code that is itself such a name still gets its own.
    void umArquivoPorCliente()
    {
        NomesArquivosCFR nomes;
        const QStringList codigos{u"AB-12.3"_s, u"12.3"_s, u"123"_s, u"123_2"_s, u"1-2-3"_s};
        QSet<QString> vistos;
        for (const QString &c : codigos) {
            const QString n = nomes.reserva(c, u"CFR"_s, u".PDF"_s);
            QVERIFY2(n.startsWith(trataNome(c) + u'_') && n.endsWith(u"_CFR.PDF"_s), qPrintable(n));
            QVERIFY2(!vistos.contains(n), qPrintable(n));
            vistos.insert(n);
            QCOMPARE(nomes.doCliente(c), n);
        }
        QCOMPARE(nomes.doCliente(u"AB-12.3"_s), u"AB123_CFR.PDF"_s);
        QCOMPARE(nomes.doCliente(u"12.3"_s), u"123_CFR.PDF"_s); // the first keeps the plain name
        QCOMPARE(nomes.doCliente(u"123"_s), u"123_2_CFR.PDF"_s);
        QCOMPARE(nomes.doCliente(u"123_2"_s), u"123_2_2_CFR.PDF"_s);
        QCOMPARE(nomes.doCliente(u"outro"_s), QString());
        nomes.limpa();
        QCOMPARE(nomes.reserva(u"123"_s, u"CFR"_s, u".PDF"_s), u"123_CFR.PDF"_s);
    }

    // Only regular files that are not hidden are counted and deleted.
    void arquivosRegulares()
    {
        QTemporaryDir tmp;
        const QDir d(tmp.path());
        cria(d.filePath(u"1_CFR.PDF"_s));
        cria(d.filePath(u"2_CFR.PDF"_s));
        cria(d.filePath(u".oculto"_s));
        QVERIFY(d.mkdir(u"sub"_s));
        QCOMPARE(ArquivosRegulares(tmp.path()), (QStringList{u"1_CFR.PDF"_s, u"2_CFR.PDF"_s}));
        ApagaArquivosRegulares(tmp.path());
        QCOMPARE(ArquivosRegulares(tmp.path()), QStringList());
        QVERIFY(QFile::exists(d.filePath(u".oculto"_s)));
        QVERIFY(QDir(d.filePath(u"sub"_s)).exists());
        QCOMPARE(ArquivosRegulares(d.filePath(u"nao-existe"_s)), QStringList());
        ApagaArquivosRegulares(d.filePath(u"nao-existe"_s)); // nothing to do, no failure
        QCOMPARE(DiretorioNativo(u"CFR\\"_s), u"CFR/"_s);
    }

    void workDir_data()
    {
        QTest::addColumn<bool>("definido");
        QTest::addColumn<QString>("valor");    // "@" stands for a folder of the test
        QTest::addColumn<QString>("esperado"); // "@" the test's folder, "#" the default
        QTest::addColumn<QString>("gravado");
        QTest::newRow("missing: default written") << false << QString() << u"#"_s << u"#"_s;
        QTest::newRow("empty: default written") << true << QString() << u"#"_s << u"#"_s;
        QTest::newRow("no trailing separator, created") << true << u"@/trab"_s << u"@/trab/"_s << u"@/trab"_s;
        QTest::newRow("trailing separator") << true << u"@/"_s << u"@/"_s << u"@/"_s;
    }

    void workDir()
    {
        QFETCH(bool, definido);
        QFETCH(QString, valor);
        QFETCH(QString, esperado);
        QFETCH(QString, gravado);
        QTemporaryDir etc, pasta, tmp;
        qputenv("TMPDIR", tmp.path().toLocal8Bit()); // the default follows TMPDIR
        const auto troca = [&](QString s) {
            s.replace(u'@', pasta.path());
            s.replace(u"#"_s, tmp.path() + u'/');
            return s;
        };
        QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, etc.path());
        const QString chave = u"SiteWebCli/WorkDir"_s;
        Registry reg;
        if (definido)
            QVERIFY(reg.writeString(chave, troca(valor)));
        QCOMPARE(LeWorkDir(reg), troca(esperado));
        QCOMPARE(reg.readString(chave), troca(gravado));
        QVERIFY(QDir(troca(esperado)).exists());
        qunsetenv("TMPDIR");
    }

    // A registry that cannot be written (a file where its folder should be) still gives the
    // default, never an empty text that would put the output at the root.
    void workDirSemRegistro()
    {
        QTemporaryDir bloqueado, tmp;
        cria(bloqueado.filePath(u"Kpr"_s));
        QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, bloqueado.path());
        qputenv("TMPDIR", tmp.path().toLocal8Bit());
        Registry reg;
        QCOMPARE(LeWorkDir(reg), tmp.path() + u'/');
        QCOMPARE(reg.readString(u"SiteWebCli/WorkDir"_s), QString());
        qunsetenv("TMPDIR");
    }
};

QTEST_GUILESS_MAIN(TstArquivosCfr)
#include "tst_arquivoscfr.moc"
