// The shipped layouts printed from the CFR screen, end to end: demo data on SQLite, the
// real kpr-appserver, the screen's apuration run, the report dialog writing the PDF, and
// pdftotext reading it back. What the statement tables hold must be on the pages of its
// client, in pt-BR formats, and nothing of the clients left out.
#include "cfr/screen/cli_kpr04700.h"
#include "cfr/screen/frmcfr.h"
#include "framework/core/abort.h"
#include "framework/core/mask.h"
#include "framework/data/clientdataset.h"
#include "framework/data/field.h"
#include "framework/db/databaseurl.h"
#include "framework/db/dtmdbgeral.h"
#include "framework/reportdesigner/reportdesignerdialog.h"
#include "framework/settings/context.h"
#include "framework/widgets/dateeditplus.h"
#include "framework/widgets/kprapplication.h"
#include "tests/support/appserverprocess.h"
#include "tests/support/pdftext.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMap>
#include <QProcess>
#include <QRadioButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

extern "C" int PackageLoad();
extern "C" void PackageUnload();
extern "C" void IniProc();

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::cfr;
using kpr::test::AppServerProcess;

namespace {

const QLocale ptBR(QLocale::Portuguese, QLocale::Brazil);

QString inteiro(double v)
{
    return ptBR.toString(v, 'f', 0);
}

QString reais(double v)
{
    return u"R$ "_s + ptBR.toString(v, 'f', 2);
}

// The pages of the report (pdftotext ends each with a form feed) that name the client.
QString paginasDo(const QString &texto, const QString &nome)
{
    QStringList out;
    for (const QString &p : texto.split(u'\f'))
        if (p.contains(nome))
            out << p;
    return out.join(u'\f');
}

// A line whose words, blanks squeezed, hold these words one after the other.
bool temLinha(const QString &texto, const QStringList &palavras)
{
    const QString procurado = palavras.join(u' ');
    for (const QString &l : texto.split(u'\n'))
        if (l.simplified().contains(procurado))
            return true;
    return false;
}

} // namespace

class TstCfrLayouts : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<AppServerProcess> m_server;
    QStringList m_errors;
    QString m_pdf;
    // Client code → razão social, kind and registration.
    QMap<QString, std::tuple<QString, QString, QString>> m_clientes;

    bool sql(const QString &statement)
    {
        QSqlQuery q(dtmDBGeral::database());
        if (!q.exec(statement)) {
            qWarning().noquote() << statement << q.lastError().text();
            return false;
        }
        return true;
    }

    TfrmCFR *abre()
    {
        IniProc();
        return frmCFR.data();
    }

    // Prints the selected layout through the screen's print button; the text of the PDF.
    QString imprime(TfrmCFR *f)
    {
        QFile::remove(m_pdf);
        m_errors.clear();
        f->sbtPrint->click();
        if (!m_errors.isEmpty() || !QFileInfo::exists(m_pdf)) {
            qWarning() << "erros:" << m_errors;
            return QString();
        }
        if (const QByteArray keep = qgetenv("KPR_KEEP_PDF_DIR"); !keep.isEmpty())
            QFile::copy(m_pdf, QString::fromLocal8Bit(keep) + u"/KPR047"_s
                                   + f->layoutNumbers().value(f->cbbReportNames->currentIndex()) + u".pdf"_s);
        return pdfText(m_pdf);
    }

    void selecionaClientes(TfrmCFR *f, const QStringList &codigos)
    {
        if (codigos.isEmpty()) {
            f->rdgTodos->setChecked(true);
            return;
        }
        f->rdgLista->setChecked(true);
        ClientesLista.clear();
        for (const QString &c : codigos)
            ClientesLista += u'_' + c + u'_';
    }

    // Names, registrations through their masks, and the absence of the others.
    void verificaClientes(const QString &texto, const QStringList &escolhidos)
    {
        for (auto it = m_clientes.cbegin(); it != m_clientes.cend(); ++it) {
            const auto &[nome, tipo, inscricao] = it.value();
            const bool escolhido = escolhidos.isEmpty() || escolhidos.contains(it.key());
            QVERIFY2(texto.contains(nome) == escolhido, qPrintable(nome));
            if (escolhido) {
                const QString mascarada = FormatMaskText(PictPess(tipo), inscricao);
                QVERIFY2(paginasDo(texto, nome).contains(mascarada), qPrintable(mascarada));
            }
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_pdf = m_dir.filePath(u"cfr.pdf"_s);
        TReportDesignerDialog::setDefaultPrintToFile(m_pdf);
        const QString url = u"sqlite:"_s + m_dir.filePath(u"demo.db"_s);
        QProcess demo;
        demo.start(QString::fromUtf8(KPR_DEMODATA_EXE),
                   {u"--db"_s, url, u"--branches"_s, u"1"_s, u"--clients"_s, u"6"_s, u"--services"_s, u"8"_s,
                    u"--days"_s, u"45"_s, u"--start"_s, u"2024-03-01"_s, u"--seed"_s, u"3"_s});
        QVERIFY(demo.waitForFinished(60000));
        QCOMPARE(demo.exitCode(), 0);

        QVERIFY2(dtmDBGeral::open(url), "dtmDBGeral");
        // A person among the companies, for the CPF mask.
        QVERIFY(sql(u"UPDATE CLIENTE SET IDTPIJURCLIE = 'F', NRINSJURCLIE = '52998224725', "
                    "NMRAZSOCCLIE = 'Beatriz Souza Lima' WHERE CDCLIENTE = '0000000003'"_s));
        QSqlQuery q(dtmDBGeral::database());
        QVERIFY(q.exec(u"SELECT CDCLIENTE, NMRAZSOCCLIE, IDTPIJURCLIE, NRINSJURCLIE FROM CLIENTE"_s));
        while (q.next())
            m_clientes.insert(q.value(0).toString(),
                              {q.value(1).toString(), q.value(2).toString(), q.value(3).toString()});
        QCOMPARE(m_clientes.size(), 6);

        m_server = std::make_unique<AppServerProcess>(QString::fromUtf8(KPR_APPSERVER_EXE));
        const Status up = m_server->start(url);
        QVERIFY2(up, qPrintable(up.error()));
        Context &c = Context::instance();
        QVERIFY(c.set(u"FiliProcFat"_s, u"0001"_s));
        QVERIFY(c.set(u"NomeFiliProcFat"_s, u"Filial Campinas"_s));
        QVERIFY(c.set(u"ModuFili"_s, u"false"_s));
        QVERIFY(c.set(u"WebURL"_s, m_server->host()));
        QVERIFY(c.set(u"WebPort"_s, QString::number(m_server->port())));
        QVERIFY(c.set(u"ReportDir"_s, QString::fromUtf8(KPR_LAYOUTS_DIR)));
        setErrorPresenter([this](const QString &t) { m_errors << t; });
        PackageLoad();
    }

    void cleanup()
    {
        if (frmCFR)
            frmCFR->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ClientesLista.clear();
        GrupServLista.clear();
    }

    void cleanupTestCase()
    {
        PackageUnload();
        dtmDBGeral::close();
        if (m_server)
            QVERIFY(m_server->stop());
    }

    // Positions 0 and 2: a page (at least) per client, a line per day with the quantities of
    // up to six services, the prices and values of each group of services, the client's total.
    void porServico_data()
    {
        QTest::addColumn<int>("posicao");
        QTest::addColumn<QStringList>("clientes");
        QTest::newRow("numbered, all clients") << 0 << QStringList();
        QTest::newRow("plain, two clients") << 2 << QStringList{u"0000000002"_s, u"0000000003"_s};
    }

    void porServico()
    {
        QFETCH(int, posicao);
        QFETCH(QStringList, clientes);
        TfrmCFR *f = abre();
        QVERIFY(f);
        f->cbbReportNames->setCurrentIndex(posicao);
        f->depDtInicial->SetDate(QDate(2024, 3, 1));
        f->depDtFinal->SetDate(QDate(2024, 4, 14));
        selecionaClientes(f, clientes);
        const QString texto = imprime(f);
        QVERIFY(!texto.isEmpty());
        QVERIFY(texto.contains(u"CONHECIMENTO DE FORNECIMENTO DE REFEIÇÕES"_s));
        QVERIFY(texto.contains(u"Período: 01/03/2024 a 14/04/2024"_s));
        QVERIFY(texto.contains(u"Filial Campinas"_s));
        QVERIFY(texto.contains(u"24.469.115/0001-98"_s)); // the branch's CNPJ
        verificaClientes(texto, clientes);

        TClientDataSet &t = *f->qryCFRSintServ;
        QVERIFY(t.RecordCount() > 0);
        QMap<QString, double> totalCliente;
        int linhas = 0;
        for (t.First(); !t.Eof(); t.Next()) {
            const QString nome = std::get<0>(m_clientes.value(t.FieldByName(u"CDCLIENTE"_s)->AsString()));
            QStringList palavras{t.FieldByName(u"DTAPURACFAT"_s)->AsDateTime().date().toString(u"dd/MM/yyyy"_s)};
            for (int n = 1; n <= 6; ++n) {
                const QString s = QString::number(n).rightJustified(2, u'0');
                TField *qt = t.FieldByName(u"QTSERVICO"_s + s);
                if (qt->IsNull())
                    continue;
                palavras << inteiro(qt->AsFloat());
                totalCliente[nome] += qt->AsFloat() * t.FieldByName(u"VRSERVICO"_s + s)->AsFloat();
            }
            QVERIFY2(temLinha(paginasDo(texto, nome), palavras), qPrintable(nome + u": "_s + palavras.join(u' ')));
            ++linhas;
        }
        QVERIFY(linhas > 30);
        for (auto it = totalCliente.cbegin(); it != totalCliente.cend(); ++it)
            QVERIFY2(temLinha(paginasDo(texto, it.key()), {reais(it.value())}), qPrintable(it.key()));

        const bool numerado = posicao == 0;
        QCOMPARE(texto.contains(QRegularExpression(u"CFR Nº\\s+\\d{6}"_s)), numerado);
        // Each client starts on a page of its own.
        const int paginas = pdfPages(m_pdf);
        QVERIFY(paginas >= totalCliente.size());
    }

    // Positions 1 and 3, from the statement the run stored on the server: a line per
    // service and ten-day window with its dates and quantities, quantity, price and value,
    // the totals per service over the period and the client's total.
    void porData_data()
    {
        QTest::addColumn<int>("posicao");
        QTest::addColumn<QStringList>("clientes");
        QTest::newRow("plain, all clients") << 1 << QStringList();
        QTest::newRow("numbered, one client") << 3 << QStringList{u"0000000003"_s};
    }

    void porData()
    {
        QFETCH(int, posicao);
        QFETCH(QStringList, clientes);
        TfrmCFR *f = abre();
        QVERIFY(f);
        f->cbbReportNames->setCurrentIndex(posicao);
        f->depDtInicial->SetDate(QDate(2024, 3, 1));
        f->depDtFinal->SetDate(QDate(2024, 3, 31));
        selecionaClientes(f, clientes);
        const QString texto = imprime(f);
        QVERIFY(!texto.isEmpty());
        QVERIFY(texto.contains(u"Período: 01/03/2024 a 31/03/2024"_s));
        verificaClientes(texto, clientes);

        TClientDataSet &t = *f->qryCFRSintData;
        QVERIFY(t.RecordCount() > 0);
        QMap<QString, double> totalCliente;
        QMap<QString, QMap<QString, std::pair<double, double>>> porServico;
        QSet<QString> janelas;
        for (t.First(); !t.Eof(); t.Next()) {
            const QString nome = std::get<0>(m_clientes.value(t.FieldByName(u"CDCLIENTEAPGD"_s)->AsString()));
            const QString paginas = paginasDo(texto, nome);
            QStringList dias, quantidades;
            for (int n = 1; n <= 11; ++n) {
                const QString s = QString::number(n).rightJustified(2, u'0');
                if (t.FieldByName(u"QTSERV"_s + s)->IsNull())
                    continue;
                dias << t.FieldByName(u"DTSERV"_s + s)->AsDateTime().date().toString(u"dd/MM"_s);
                quantidades << inteiro(t.FieldByName(u"QTSERV"_s + s)->AsFloat());
            }
            QVERIFY2(temLinha(paginas, dias), qPrintable(dias.join(u' ')));
            QVERIFY2(temLinha(paginas, quantidades), qPrintable(quantidades.join(u' ')));
            const double quant = t.FieldByName(u"TOTALQUANT"_s)->AsFloat();
            const double valor = t.FieldByName(u"TOTALSERV"_s)->AsFloat();
            const QStringList totais{inteiro(quant), reais(t.FieldByName(u"VRPRECO"_s)->AsFloat()), reais(valor)};
            QVERIFY2(temLinha(paginas, totais), qPrintable(totais.join(u' ')));
            totalCliente[nome] += valor;
            auto &s = porServico[nome][t.FieldByName(u"NMSERVICO"_s)->AsString()];
            s.first += quant;
            s.second += valor;
            janelas << t.FieldByName(u"IDGRUPO"_s)->AsString();
        }
        QCOMPARE(janelas.size(), 4); // 31 days: three windows of ten and the 31st
        for (auto it = porServico.cbegin(); it != porServico.cend(); ++it) {
            for (auto s = it.value().cbegin(); s != it.value().cend(); ++s)
                QVERIFY2(temLinha(paginasDo(texto, it.key()),
                                  {u"Total"_s, s.key(), inteiro(s.value().first), reais(s.value().second)}),
                         qPrintable(s.key()));
            QVERIFY(temLinha(paginasDo(texto, it.key()), {reais(totalCliente.value(it.key()))}));
        }
        QCOMPARE(texto.contains(QRegularExpression(u"CFR Nº\\s+\\d{6}"_s)), posicao == 3);
        if (posicao == 3)
            QVERIFY(texto.contains(u"Quinzena iniciada em 01/03/2024"_s));
    }

    // Layout 08 with a list of service groups: only those groups, with their services'
    // quantities and values as the by-service statement holds them.
    void porGrupoDeServico()
    {
        TfrmCFR *f = abre();
        QVERIFY(f);
        f->cbbReportNames->setCurrentIndex(4);
        QCOMPARE(f->layoutNumbers().value(4), u"08"_s);
        f->depDtInicial->SetDate(QDate(2024, 3, 1));
        f->depDtFinal->SetDate(QDate(2024, 3, 20));
        selecionaClientes(f, {u"0000000001"_s, u"0000000004"_s});
        f->rdbGrupServLista->setChecked(true);
        GrupServLista = u"_0002_"_s;
        const QString texto = imprime(f);
        QVERIFY(!texto.isEmpty());
        QVERIFY(texto.contains(u"Grupo de serviço 0002 - Lanches e ceias"_s));
        QVERIFY(!texto.contains(u"Refeições principais"_s));
        QVERIFY(!texto.contains(u"Dietas especiais"_s));
        QVERIFY(!texto.contains(u"Almoço"_s));
        verificaClientes(texto, {u"0000000001"_s, u"0000000004"_s});

        // Quantities per client and service of group 0002 from the screen's statement.
        const QSet<QString> lanches{u"001"_s, u"004"_s, u"005"_s, u"007"_s};
        QMap<QString, QMap<QString, double>> quantidades;
        TClientDataSet &t = *f->qryCFRSintServ;
        for (t.First(); !t.Eof(); t.Next())
            for (int n = 1; n <= 6; ++n) {
                const QString s = QString::number(n).rightJustified(2, u'0');
                const QString servico = t.FieldByName(u"CDSERVICO"_s + s)->AsString();
                if (lanches.contains(servico))
                    quantidades[t.FieldByName(u"CDCLIENTE"_s)->AsString()][servico] +=
                        t.FieldByName(u"QTSERVICO"_s + s)->AsFloat();
            }
        QCOMPARE(quantidades.size(), 2);
        for (auto c = quantidades.cbegin(); c != quantidades.cend(); ++c) {
            const QString paginas = paginasDo(texto, std::get<0>(m_clientes.value(c.key())));
            for (auto s = c.value().cbegin(); s != c.value().cend(); ++s) {
                bool achou = false;
                for (const QString &l : paginas.split(u'\n'))
                    achou |= l.simplified().startsWith(s.key() + u" - "_s)
                             && l.simplified().contains(u' ' + inteiro(s.value()) + u' ');
                QVERIFY2(achou, qPrintable(c.key() + u' ' + s.key()));
            }
        }
    }

    // Values worked out by hand, for a client of its own in a period of its own: service 001
    // at R$ 15,50 on 10 + 12 + 8 meals is 30 meals, R$ 465,00; service 002 at R$ 7,25 on 5
    // meals, then R$ 7,90 from 04/06 on 4 meals, is 9 meals. By service each day has its own
    // price: R$ 36,25 + R$ 31,60 = R$ 67,85, the client's total R$ 532,85. By date a row of
    // a ten-day window keeps the first price it met: 9 × R$ 7,25 = R$ 65,25, total R$ 530,25.
    void valoresCalculadosAMao()
    {
        QVERIFY(sql(u"INSERT INTO CLIENTE (CDCLIENTE, IDTPIJURCLIE, NRINSJURCLIE, NMRAZSOCCLIE) "
                    "VALUES ('0000000099', 'J', '11222333000181', 'Cozinha Exemplo Ltda')"_s));
        QVERIFY(sql(u"INSERT INTO CLIEFILI (CDFILIAL, CDCLIENTE) VALUES ('0001', '0000000099')"_s));
        QVERIFY(sql(u"INSERT INTO PRECSERV (CDFILIAL, CDCLIENTE, CDSERVFILI, DTVIGENCIA, VRPRECUNIT) VALUES "
                    "('0001', '0000000099', '001', '2024-01-01', 15.50), "
                    "('0001', '0000000099', '002', '2024-01-01', 7.25), "
                    "('0001', '0000000099', '002', '2024-06-04', 7.90)"_s));
        QVERIFY(sql(u"INSERT INTO EFETIVO (CDFILIAL, CDCLIENTE, CDSERVFILI, DTEFETIVO, NREFETIVOS) VALUES "
                    "('0001', '0000000099', '001', '2024-06-03', 10), ('0001', '0000000099', '001', '2024-06-04', 12), "
                    "('0001', '0000000099', '001', '2024-06-05', 8), ('0001', '0000000099', '002', '2024-06-03', 5), "
                    "('0001', '0000000099', '002', '2024-06-04', 4)"_s));
        QSqlQuery q(dtmDBGeral::database());
        QVERIFY(q.exec(u"SELECT CDSERVFILI, NMSERVICO FROM SERVFILI WHERE CDFILIAL = '0001' "
                       "AND CDSERVFILI IN ('001', '002') ORDER BY 1"_s));
        QStringList nomes;
        while (q.next())
            nomes << q.value(1).toString();
        QCOMPARE(nomes.size(), 2);

        TfrmCFR *f = abre();
        QVERIFY(f);
        f->depDtInicial->SetDate(QDate(2024, 6, 3));
        f->depDtFinal->SetDate(QDate(2024, 6, 5));
        selecionaClientes(f, {u"0000000099"_s});

        // By service: a line per day with the day's meals of each service, the client's total.
        f->cbbReportNames->setCurrentIndex(2);
        QString texto = imprime(f);
        QVERIFY(texto.contains(u"Cozinha Exemplo Ltda"_s));
        for (const QStringList &linha :
             {QStringList{u"03/06/2024"_s, u"10"_s, u"5"_s}, QStringList{u"04/06/2024"_s, u"12"_s, u"4"_s},
              QStringList{u"05/06/2024"_s, u"8"_s}})
            QVERIFY2(temLinha(texto, linha), qPrintable(linha.join(u' ')));
        QVERIFY2(temLinha(texto, {u"R$ 532,85"_s}), qPrintable(texto));

        // By date: the totals per service over the period and the client's total.
        f->cbbReportNames->setCurrentIndex(1);
        texto = imprime(f);
        QVERIFY2(temLinha(texto, {nomes[0], u"30"_s, u"R$ 15,50"_s, u"R$ 465,00"_s}), qPrintable(texto));
        QVERIFY2(temLinha(texto, {nomes[1], u"9"_s, u"R$ 7,25"_s, u"R$ 65,25"_s}), qPrintable(texto));
        QVERIFY(temLinha(texto, {u"Total"_s, nomes[0], u"30"_s, u"R$ 465,00"_s}));
        QVERIFY(temLinha(texto, {u"Total"_s, nomes[1], u"9"_s, u"R$ 65,25"_s}));
        QVERIFY(temLinha(texto, {u"Cozinha Exemplo Ltda"_s, u"39"_s, u"R$ 530,25"_s}));
    }

    // A layout file that cannot be read ends the print with an error naming it; the screen
    // stays usable.
    void layoutQuebrado()
    {
        QTemporaryDir dir;
        for (const QString &n : {u"00"_s, u"01"_s, u"02"_s, u"03"_s, u"08"_s})
            QVERIFY(QFile::copy(QString::fromUtf8(KPR_LAYOUTS_DIR) + u"/KPR047"_s + n + u".QR2"_s,
                                dir.filePath(u"KPR047"_s + n + u".QR2"_s)));
        QFile quebrado(dir.filePath(u"KPR04702.QR2"_s));
        QVERIFY(quebrado.open(QIODevice::ReadWrite));
        QByteArray json = quebrado.readAll();
        json.replace("\"NMSERVICO{n}\"", "\"NMSERVICO{n}X\"");
        quebrado.resize(0);
        quebrado.write(json);
        quebrado.close();
        QVERIFY(Context::instance().set(u"ReportDir"_s, dir.path()));
        TfrmCFR *f = abre();
        QVERIFY(f);
        f->cbbReportNames->setCurrentIndex(2);
        f->depDtInicial->SetDate(QDate(2024, 3, 1));
        f->depDtFinal->SetDate(QDate(2024, 3, 5));
        QFile::remove(m_pdf);
        m_errors.clear();
        f->sbtPrint->click();
        QCOMPARE(m_errors.size(), 1);
        QVERIFY2(m_errors[0].contains(u"KPR04702.QR2"_s) && m_errors[0].contains(u"NMSERVICO01X"_s),
                 qPrintable(m_errors[0]));
        QVERIFY(!QFileInfo::exists(m_pdf));
        QVERIFY(Context::instance().set(u"ReportDir"_s, QString::fromUtf8(KPR_LAYOUTS_DIR)));
    }
};

int main(int argc, char *argv[])
{
    KprApplication app(argc, argv);
    TstCfrLayouts t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}

#include "tst_cfr_layouts.moc"
