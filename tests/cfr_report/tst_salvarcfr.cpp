// The per-client export end to end: demo data on SQLite, the real kpr-appserver, the
// screen's apuration run of each layout family, then SalvarCFR writing one PDF per client
// with data into the output directory that the registry's work directory gives. Each file
// is read back with pdftotext, pdfinfo and qpdf.
#include "cfr/screen/cli_kpr04700.h"
#include "cfr/screen/frmcfr.h"
#include "framework/core/abort.h"
#include "framework/data/clientdataset.h"
#include "framework/data/field.h"
#include "framework/db/dtmdbgeral.h"
#include "framework/settings/context.h"
#include "framework/settings/registry.h"
#include "framework/widgets/dateeditplus.h"
#include "framework/widgets/kprapplication.h"
#include "framework/widgets/showavi.h"
#include "tests/support/demoservidor.h"
#include "tests/support/pdftext.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRadioButton>
#include <QSettings>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

extern "C" int PackageLoad();
extern "C" void PackageUnload();
extern "C" void IniProc();

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::cfr;

class TstSalvarCfr : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    kpr::test::DemoServidor m_demo{QString::fromUtf8(KPR_DEMODATA_EXE), QString::fromUtf8(KPR_APPSERVER_EXE),
                                   QString::fromUtf8(KPR_LAYOUTS_DIR)};
    QStringList m_errors;
    QString m_saida;                // the output directory: the work directory of the test's registry + CFR/
    QMap<QString, QString> m_razao; // client code → razão social

    TfrmCFR *abre(int posicao, QDate inicio, QDate fim)
    {
        IniProc();
        TfrmCFR *f = frmCFR.data();
        if (!f)
            return nullptr;
        f->cbbReportNames->setCurrentIndex(posicao);
        f->depDtInicial->SetDate(inicio);
        f->depDtFinal->SetDate(fim);
        return f;
    }

    // What a folder holds, hidden files included.
    static QStringList arquivos(const QString &pasta)
    {
        return QDir(pasta).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const Status up = m_demo.inicia(m_dir.path(), {});
        QVERIFY2(up, qPrintable(up.error()));
        m_saida = m_demo.saida();
        // Two codes that clean to the same file name, 12.3 and 123 (renamed in every table).
        QVERIFY(m_demo.sql(u"PRAGMA foreign_keys = OFF"_s));
        for (const QString &t : {u"CLIENTE"_s, u"CLIEFILI"_s, u"PRECSERV"_s, u"EFETIVO"_s}) {
            QVERIFY(m_demo.sql(u"UPDATE %1 SET CDCLIENTE = '12.3' WHERE CDCLIENTE = '0000000001'"_s.arg(t)));
            QVERIFY(m_demo.sql(u"UPDATE %1 SET CDCLIENTE = '123' WHERE CDCLIENTE = '0000000002'"_s.arg(t)));
        }
        QSqlQuery q(dtmDBGeral::database());
        QVERIFY(q.exec(u"SELECT CDCLIENTE, NMRAZSOCCLIE FROM CLIENTE"_s));
        while (q.next())
            m_razao.insert(q.value(0).toString(), q.value(1).toString());
        QCOMPARE(m_razao.size(), 6);
        setErrorPresenter([this](const QString &t) { m_errors << t; });
        PackageLoad();
    }

    void cleanup()
    {
        if (frmCFR)
            frmCFR->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ClientesLista.clear();
        m_errors.clear();
        QVERIFY(Context::instance().set(u"ReportDir"_s, QString::fromUtf8(KPR_LAYOUTS_DIR)));
    }

    void cleanupTestCase()
    {
        PackageUnload();
        QVERIFY(m_demo.para());
    }

    // One file per client with data, each naming its own client only, with the statement's
    // title and the branch as author; the stored by-date statement outlives the loop and the
    // user's selection comes back.
    void porCliente_data()
    {
        QTest::addColumn<int>("posicao");
        QTest::addColumn<QDate>("fim");
        QTest::newRow("by date") << 1 << QDate(2024, 3, 31);
        QTest::newRow("by service") << 2 << QDate(2024, 4, 14);
        // The CFR number the server issues per client during the loop is on each file.
        QTest::newRow("by service, numbered") << 0 << QDate(2024, 3, 15);
    }

    void porCliente()
    {
        QFETCH(int, posicao);
        QFETCH(QDate, fim);
        TfrmCFR *f = abre(posicao, QDate(2024, 3, 1), fim);
        QVERIFY(f);
        f->rdgTodos->setChecked(true);
        ClientesLista = u"_0000000004_"_s; // left from an earlier list: must survive untouched
        f->GeraTableApurFat();
        QVERIFY(f->SalvarCFR(fPDF, mPorCliente, false, false, true));
        QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));

        QVERIFY(f->rdgTodos->isChecked() && !f->rdgLista->isChecked());
        QCOMPARE(ClientesLista, u"_0000000004_"_s);
        QCOMPARE(showAviOverlay(f), nullptr);

        TClientDataSet comDados;
        comDados.setData(f->getClientesComDados());
        QVERIFY(comDados.RecordCount() >= 5);
        QStringList esperados;
        const QString periodo = u"01/03/2024 a "_s + fim.toString(u"dd/MM/yyyy"_s);
        for (comDados.First(); !comDados.Eof(); comDados.Next()) {
            const QString codigo = comDados.FieldByName(u"CDCLIENTE"_s)->AsString();
            const QString pdf = f->ArquivoDoCliente(codigo);
            QVERIFY2(QFile::exists(pdf), qPrintable(codigo));
            esperados << QFileInfo(pdf).fileName();
            const QString texto = pdfText(pdf);
            for (auto it = m_razao.cbegin(); it != m_razao.cend(); ++it)
                QVERIFY2(texto.contains(it.value()) == (it.key() == codigo), qPrintable(codigo + u": "_s + it.value()));
            QCOMPARE(pdfInfo(pdf, u"Title"_s), u"CFR – %1 – %2"_s.arg(m_razao.value(codigo), periodo));
            QCOMPARE(pdfInfo(pdf, u"Author"_s), u"Filial Campinas"_s);
            QCOMPARE(texto.contains(QRegularExpression(u"CFR Nº\\s+\\d{6}"_s)), posicao == 0);
            QCOMPARE(runTool(u"qpdf"_s, {u"--check"_s, pdf}).contains(u"No syntax or stream encoding errors"_s), true);
        }
        esperados.sort();
        const QString pasta = f->DiretorioSaida();
        QVERIFY2(pasta.startsWith(m_saida) && pasta != m_saida, qPrintable(pasta)); // a folder of its own
        QCOMPARE(QFile(pasta).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup),
                 QFileDevice::Permissions());
        QCOMPARE(arquivos(pasta), esperados);
        QVERIFY(esperados.contains(u"123_CFR.PDF"_s) && esperados.contains(u"123_2_CFR.PDF"_s));
        QCOMPARE(QFileInfo(f->ArquivoDoCliente(u"12.3"_s)).fileName(), u"123_CFR.PDF"_s);

        if (posicao == 1) {
            QSqlQuery q(dtmDBGeral::database());
            QVERIFY(q.exec(u"SELECT COUNT(*) FROM CFRSINTDATA"_s) && q.next());
            QVERIFY2(q.value(0).toInt() > 0, "the stored statement was deleted by the export");
        }

        // The clean-up leaves a hidden file and so the folders; without it both go.
        QFile oculto(pasta + u".oculto"_s);
        QVERIFY(oculto.open(QIODevice::WriteOnly));
        oculto.close();
        f->ApagaArquivosGerados();
        QCOMPARE(arquivos(pasta), QStringList{u".oculto"_s});
        QVERIFY(QFile::remove(pasta + u".oculto"_s));
        f->ApagaArquivosGerados();
        QVERIFY(!QDir(pasta).exists() && !QDir(m_saida).exists());
        f->ApagaArquivosGerados(); // no output directory: nothing happens
    }

    // A list selection comes back after an export that fails on its first client; the
    // animation is taken down.
    void listaRestauradaAposFalha()
    {
        TfrmCFR *f = abre(2, QDate(2024, 3, 1), QDate(2024, 3, 10));
        QVERIFY(f);
        f->rdgLista->setChecked(true);
        ClientesLista = u"_12.3__0000000004_"_s;
        f->GeraTableApurFat();
        QTemporaryDir vazio;
        QVERIFY(Context::instance().set(u"ReportDir"_s, vazio.path()));
        bool terminou = false;
        QVERIFY(!runGuarded([&] { terminou = f->SalvarCFR(fPDF, mPorCliente, false, false, true); }));
        QVERIFY(!terminou);
        QCOMPARE(m_errors.size(), 1);
        QVERIFY(f->rdgLista->isChecked() && !f->rdgTodos->isChecked());
        QCOMPARE(ClientesLista, u"_12.3__0000000004_"_s);
        QCOMPARE(showAviOverlay(f), nullptr);
    }

    // The fingerprint of a statement: the same content in a later run (another apuration
    // number) gives the same text; one changed quantity changes only that client's.
    void impressoes_data()
    {
        QTest::addColumn<int>("posicao");
        QTest::newRow("by date") << 1;
        QTest::newRow("by service") << 2;
    }

    void impressoes()
    {
        QFETCH(int, posicao);
        TfrmCFR *f = abre(posicao, QDate(2024, 3, 1), QDate(2024, 3, 10));
        QVERIFY(f);
        f->GeraTableApurFat();
        const QHash<QString, QString> antes = f->ImpressoesCFR();
        QCOMPARE(antes.size(), 6);
        QCOMPARE(QSet<QString>(antes.cbegin(), antes.cend()).size(), 6);
        f->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        f = abre(posicao, QDate(2024, 3, 1), QDate(2024, 3, 10));
        QVERIFY(f);
        f->GeraTableApurFat();
        QCOMPARE(f->ImpressoesCFR(), antes);
        QVERIFY(m_demo.sql(u"UPDATE EFETIVO SET NREFETIVOS = NREFETIVOS + 1 WHERE CDCLIENTE = '123' "
                           "AND DTEFETIVO = (SELECT MIN(DTEFETIVO) FROM EFETIVO WHERE CDCLIENTE = '123' "
                           "AND NREFETIVOS IS NOT NULL AND DTEFETIVO >= '2024-03-01')"_s));
        f->GeraTableApurFat();
        const QHash<QString, QString> depois = f->ImpressoesCFR();
        for (auto it = antes.cbegin(); it != antes.cend(); ++it)
            QVERIFY2((depois.value(it.key()) == it.value()) == (it.key() != u"123"_s), qPrintable(it.key()));
        QVERIFY(m_demo.sql(u"UPDATE EFETIVO SET NREFETIVOS = NREFETIVOS - 1 WHERE CDCLIENTE = '123' "
                           "AND DTEFETIVO = (SELECT MIN(DTEFETIVO) FROM EFETIVO WHERE CDCLIENTE = '123' "
                           "AND NREFETIVOS IS NOT NULL AND DTEFETIVO >= '2024-03-01')"_s));
    }

    // No data in the period: nothing written, false; what another run left in the output
    // directory (a file, a hidden file, a folder) is neither deleted nor counted.
    void semDados()
    {
        QVERIFY(QDir().mkpath(m_saida + u"sub"_s));
        QFile oculto(m_saida + u".oculto"_s);
        QVERIFY(oculto.open(QIODevice::WriteOnly));
        oculto.close();
        QFile velho(m_saida + u"velho_CFR.PDF"_s);
        QVERIFY(velho.open(QIODevice::WriteOnly));
        velho.close();

        TfrmCFR *f = abre(1, QDate(2025, 1, 1), QDate(2025, 1, 5));
        QVERIFY(f);
        f->GeraTableApurFat();
        QVERIFY(!f->SalvarCFR(fPDF, mPorCliente, false, false, true));
        QCOMPARE(arquivos(f->DiretorioSaida()), QStringList());
        QCOMPARE(arquivos(m_saida), (QStringList{u".oculto"_s, u"velho_CFR.PDF"_s}));
        QVERIFY(QDir(m_saida + u"sub"_s).exists());
        QVERIFY(QDir(m_saida).removeRecursively());
    }
};

int main(int argc, char *argv[])
{
    KprApplication app(argc, argv);
    TstSalvarCfr t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}

#include "tst_salvarcfr.moc"
