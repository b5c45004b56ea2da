// The report dialog as the screens use it: parameters filled in BeforeGetQueryParams and
// bound into SQL on a real SQLite file through dtmDBGeral, in-memory tables narrowed by the
// client list and left with their cursors where they were, the after-print and
// after-preview events (none after an abort or an export), the preview window, the edit
// and save-as hooks, the base report screen's rpddPadrao, and the PDF engine's preferences.
#include "tests/support/pdftext.h"
#include "../widgets/modalhelper.h"

#include "framework/core/abort.h"
#include "framework/data/clientdataset.h"
#include "framework/db/dtmdbgeral.h"
#include "framework/pdf/gtexpdfengine.h"
#include "framework/pdf/pdfsetupdialog.h"
#include "framework/reportdesigner/reportdesignerdialog.h"
#include "framework/screens/frmdadosgerrel.h"
#include "framework/settings/context.h"
#include "framework/widgets/kprapplication.h"

#include <QBuffer>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;

namespace {

class Report : public TfrmDadosGerRel
{
public:
    Report() { lblCodRel->setText(u"KPR047"_s); }
};

// Receives the URLs the desktop would open.
class UrlSink : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

struct Events
{
    int beforeParams = 0;
    int afterPrint = 0;
    int afterPreview = 0;
};

} // namespace

class TstReportDialog : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    TClientDataSet m_serv{u"qryCFRSintServ"_s};
    TClientDataSet m_clie{u"qryClieSelect"_s};
    QStringList m_errors;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    void writeFile(const QString &name, const QByteArray &text)
    {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

    // Counts the events and fills the parameters as the CFR screen does.
    void wire(TReportDesignerDialog &rpdd, Events &ev, const QString &clientes = u"T"_s)
    {
        rpdd.BeforeGetQueryParams = [&ev, clientes, &rpdd](QObject *sender, TParams &params, bool &) {
            QCOMPARE(sender, &rpdd);
            ++ev.beforeParams;
            if (rpdd.ExistParam(params, u"P_CDFILIAL"_s))
                params.ParamByName(u"P_CDFILIAL"_s)->setValue(u"0001"_s);
            if (rpdd.ExistParam(params, u"P_TCDFILIAL"_s))
                params.ParamByName(u"P_TCDFILIAL"_s)->setValue(QString());
            if (rpdd.ExistParam(params, u"P_NRAPURACGD"_s))
                params.ParamByName(u"P_NRAPURACGD"_s)->setValue(u"0000000007"_s);
            if (rpdd.ExistParam(params, u"P_CDCLIENTE"_s))
                params.ParamByName(u"P_CDCLIENTE"_s)->setValue(clientes);
            if (rpdd.ExistParam(params, u"P_DTINICIAL"_s))
                params.ParamByName(u"P_DTINICIAL"_s)->setValue(QDate(2026, 3, 1));
            if (rpdd.ExistParam(params, u"P_DTFINAL"_s))
                params.ParamByName(u"P_DTFINAL"_s)->setValue(QDate(2026, 3, 15));
        };
        rpdd.QRPAfterPrint = [&ev](QObject *) { ++ev.afterPrint; };
        rpdd.QRPAfterPreview = [&ev](QObject *) { ++ev.afterPreview; };
    }

    void fillTables()
    {
        const QStringList suffixes{u"01"_s, u"02"_s, u"03"_s, u"04"_s, u"05"_s, u"06"_s};
        for (const auto &[f, size] : std::initializer_list<std::pair<const char16_t *, int>>{{u"IDGRUPO", 3},
                                                                                             {u"CDFILIAL", 4},
                                                                                             {u"NMFILIAL", 30},
                                                                                             {u"IDTPIJURCLIE", 1},
                                                                                             {u"NRINSJURCLIE", 20},
                                                                                             {u"NMRAZSOCCLIE", 50},
                                                                                             {u"NRAPURACGD", 10},
                                                                                             {u"CDCLIENTE", 21}})
            m_serv.AddField(QString::fromUtf16(f), ftString, size);
        for (const QString &kind : {u"CDSERVICO"_s, u"NMSERVICO"_s})
            for (const QString &s : suffixes)
                m_serv.AddField(kind + s, ftString, kind == u"CDSERVICO"_s ? 3 : 30);
        for (const QString &kind : {u"QTSERVICO"_s, u"VRSERVICO"_s})
            for (const QString &s : suffixes)
                m_serv.AddField(kind + s, ftFloat);
        for (const QString &f : {u"DTAPURACFAT"_s, u"DTINICIAL"_s, u"DTFINAL"_s})
            m_serv.AddField(f, ftDateTime);
        m_serv.CreateDataSet();
        // Client 0003 comes first in the table and sorts last by its registration number;
        // apuration 0000000009 is another run's row and never prints.
        struct R
        {
            const char16_t *cd, *kind, *ins, *nome, *apur;
            int day;
            double q1, q2;
        };
        const R rows[] = {
            {u"0003", u"F", u"12345678909", u"Zeta Refeições", u"0000000007", 1, 4, 0},
            {u"0001", u"J", u"11222333000181", u"Alfa Frigorífico", u"0000000007", 1, 10, 5},
            {u"0001", u"J", u"11222333000181", u"Alfa Frigorífico", u"0000000007", 2, 20, 0},
            {u"0002", u"J", u"22333444000172", u"Beta Indústria", u"0000000007", 1, 7, 1},
            {u"0001", u"J", u"11222333000181", u"Alfa Frigorífico", u"0000000009", 3, 99, 99},
        };
        for (const R &r : rows) {
            m_serv.Append();
            m_serv.FieldByName(u"IDGRUPO"_s)->setAsString(u"001"_s);
            m_serv.FieldByName(u"CDFILIAL"_s)->setAsString(u"0001"_s);
            m_serv.FieldByName(u"CDCLIENTE"_s)->setAsString(QString::fromUtf16(r.cd));
            m_serv.FieldByName(u"IDTPIJURCLIE"_s)->setAsString(QString::fromUtf16(r.kind));
            m_serv.FieldByName(u"NRINSJURCLIE"_s)->setAsString(QString::fromUtf16(r.ins));
            m_serv.FieldByName(u"NMRAZSOCCLIE"_s)->setAsString(QString::fromUtf16(r.nome));
            m_serv.FieldByName(u"NRAPURACGD"_s)->setAsString(QString::fromUtf16(r.apur));
            m_serv.FieldByName(u"NMSERVICO01"_s)->setAsString(u"Almoço"_s);
            m_serv.FieldByName(u"NMSERVICO02"_s)->setAsString(u"Jantar"_s);
            m_serv.FieldByName(u"QTSERVICO01"_s)->setAsFloat(r.q1);
            m_serv.FieldByName(u"QTSERVICO02"_s)->setAsFloat(r.q2);
            m_serv.FieldByName(u"VRSERVICO01"_s)->setAsFloat(12.5);
            m_serv.FieldByName(u"VRSERVICO02"_s)->setAsFloat(10.0);
            m_serv.FieldByName(u"DTAPURACFAT"_s)->setAsDate(QDate(2026, 3, r.day));
            m_serv.Post();
        }
        for (const char16_t *f : {u"CDCLIENTEAPGD", u"DSENDECLIE", u"NMBAIRCLIE", u"NMMUNICLIE"})
            m_clie.AddField(QString::fromUtf16(f), ftString, 50);
        m_clie.CreateDataSet();
        for (const auto &[cd, end] :
             {std::pair{u"0001", u"Rua A, 1"}, {u"0002", u"Rua B, 2"}, {u"0003", u"Rua C, 3"}}) {
            m_clie.Append();
            m_clie.FieldByName(u"CDCLIENTEAPGD"_s)->setAsString(QString::fromUtf16(cd));
            m_clie.FieldByName(u"DSENDECLIE"_s)->setAsString(QString::fromUtf16(end));
            m_clie.FieldByName(u"NMBAIRCLIE"_s)->setAsString(u"Centro"_s);
            m_clie.FieldByName(u"NMMUNICLIE"_s)->setAsString(u"Recife"_s);
            m_clie.Post();
        }
    }

    void registerTables(TReportDesignerDialog &rpdd)
    {
        rpdd.registerTable(u"qryCFRSintServ"_s, &m_serv);
        rpdd.registerTable(u"qryClieSelect"_s, &m_clie);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        setErrorPresenter([this](const QString &t) { m_errors << t; });
        const Status st = dtmDBGeral::open(u"sqlite:"_s + path(u"kpr.db"_s));
        QVERIFY2(st, qPrintable(st.error()));
        QSqlQuery q(dtmDBGeral::database());
        QVERIFY(
            q.exec(u"CREATE TABLE FILIAL (CDFILIAL VARCHAR(4) PRIMARY KEY, NMFILIAL VARCHAR(30), DTPROCFILI DATE)"_s));
        QVERIFY(q.exec(u"INSERT INTO FILIAL VALUES ('0001','Matriz','2026-03-20'), ('0002','Centro','2026-02-01'), "
                       u"('0010','Sul','2026-03-31')"_s));
        fillTables();
        QFile::copy(QDir(qEnvironmentVariable("KPR_SOURCE_DIR")).filePath(u"tests/report/layouts/servico.QR2"_s),
                    path(u"KPR04700.QR2"_s));
        writeFile(u"KPR04701.QR2"_s, R"({"format": "kpr-layout", "version": 1, "title": "Filiais",
          "parameters": [{"name": "P_CDFILIAL"}, {"name": "P_TCDFILIAL"}, {"name": "P_DTINICIAL", "type": "date"}],
          "datasets": [{"name": "filial",
            "sql": "SELECT * FROM TABELA_QUE_NAO_EXISTE",
            "dialects": {"sqlite": ["SELECT CDFILIAL, NMFILIAL FROM FILIAL",
                                    "WHERE (CDFILIAL = :P_CDFILIAL OR :P_TCDFILIAL = 'T') AND DTPROCFILI >= :P_DTINICIAL",
                                    "ORDER BY CDFILIAL"]}}],
          "bands": {"detail": {"height": 6, "elements": [
            {"type": "text", "x": 0, "y": 0, "width": 150, "height": 6, "text": "Filial [CDFILIAL] [NMFILIAL]"}]}}})");
        writeFile(u"KPR04702.QR2"_s, R"({"format": "kpr-layout", "version": 1, "title": "Eventos",
          "parameters": [{"name": "P_CDFILIAL"}, {"name": "P_DTINICIAL", "type": "date"},
                         {"name": "P_QT", "type": "integer"}, {"name": "P_DTFINALCOMP", "type": "float"}],
          "bands": {"title": {"height": 10, "elements": [
            {"type": "text", "x": 0, "y": 0, "width": 150, "height": 10, "text": "Filial ${P_CDFILIAL} desde ${P_DTINICIAL}"}]}}})");
        writeFile(u"KPR04703.QR2"_s, R"({"format": "kpr-layout", "version": 1, "title": "SQL ruim",
          "datasets": [{"name": "filial", "sql": "SELECT * FROM FILIAL WHERE CDFILIAL = :P_CDFILIAL"}]})");
        writeFile(u"KPR04708.QR2"_s, "{ \"format\": \"kpr-layout\", \"version\": 1, \"title\": \"Quebrado\",");
    }
    void cleanupTestCase() { dtmDBGeral::close(); }

    void documentedLayoutPrintsEachClientOnItsPage()
    {
        TReportDesignerDialog rpdd;
        Events ev;
        wire(rpdd, ev, u"_0001_0003_"_s);
        registerTables(rpdd);
        m_serv.setRecNo(3);
        m_clie.Last();
        const QString pdf = path(u"servico.pdf"_s);
        rpdd.setPrintToFile(pdf);
        rpdd.Execute(ReportAction::Print, path(u"KPR04700.QR2"_s));
        QCOMPARE(ev.beforeParams, 1);
        QCOMPARE(ev.afterPrint, 1);
        QCOMPARE(ev.afterPreview, 0);
        // The screen's cursors stay where they were.
        QCOMPARE(m_serv.RecNo(), 3);
        QVERIFY(m_clie.Eof() || m_clie.RecNo() == 3);

        // Client 0002 is not in the list and the other run's row is left out: two clients,
        // sorted by registration number, each on its page.
        QCOMPARE(pdfPages(pdf), 2);
        const QString p1 = squeezed(pdfText(pdf, 1));
        const QString p2 = squeezed(pdfText(pdf, 2));
        // Sorted as the statement's index: kind of person first, so the person (F) comes
        // before the company (J).
        QVERIFY2(p1.contains(u"Filial 0001 - Matriz 01/03/2026 a 15/03/2026"_s), qPrintable(p1));
        QVERIFY2(p1.contains(u"Zeta Refeições 123.456.789-09 Rua C, 3 - Centro - Recife"_s), qPrintable(p1));
        QVERIFY2(p1.contains(u"Dia Almoço Jantar 01/03/2026 4 Total 4 0 0 0 0 0"_s), qPrintable(p1));
        QVERIFY(p1.contains(u"Página 1 de 2"_s));
        QVERIFY2(p2.contains(u"Alfa Frigorífico 11.222.333/0001-81 Rua A, 1 - Centro - Recife"_s), qPrintable(p2));
        // QTSERVICO02 = 0 on the 2nd is left blank; the row of the other run is not there.
        QVERIFY2(p2.contains(u"Dia Almoço Jantar 01/03/2026 10 5 02/03/2026 20 Total 30 5 0"_s), qPrintable(p2));
        QVERIFY(!p1.contains(u"Beta"_s) && !p2.contains(u"Beta"_s) && !p2.contains(u"99"_s));
        // Value totals over both clients: (4 + 10 + 20) × 12,50 and 5 × 10,00.
        QVERIFY2(p2.contains(u"Valor R$ 425,00 R$ 50,00 R$ 0,00"_s), qPrintable(p2));
        QVERIFY(p2.contains(u"Página 2 de 2"_s));

        // "T" takes every client of the run.
        wire(rpdd, ev, u"T"_s);
        rpdd.Execute(ReportAction::Print, path(u"KPR04700.QR2"_s));
        QCOMPARE(pdfPages(pdf), 3);
        QVERIFY(pdfText(pdf, 3).contains(u"Beta Indústria"_s));
    }

    void sqlRunsTheDialectWithBoundParameters()
    {
        TReportDesignerDialog rpdd;
        Events ev;
        wire(rpdd, ev);
        const QString pdf = path(u"filial.pdf"_s);
        rpdd.setPrintToFile(pdf);
        rpdd.Execute(ReportAction::Print, path(u"KPR04701.QR2"_s));
        QCOMPARE(squeezed(pdfText(pdf)), u"Filial 0001 Matriz"_s);
        // All branches processed since 1 March: 0002 (February) stays out.
        const auto all = rpdd.BeforeGetQueryParams;
        rpdd.BeforeGetQueryParams = [all](QObject *s, TParams &p, bool &h) {
            all(s, p, h);
            if (TParam *t = p.FindParam(u"P_TCDFILIAL"_s))
                t->setValue(u"T"_s);
        };
        rpdd.Execute(ReportAction::Print, path(u"KPR04701.QR2"_s));
        QCOMPARE(squeezed(pdfText(pdf)), u"Filial 0001 Matriz Filial 0010 Sul"_s);

        try {
            rpdd.Execute(ReportAction::Print, path(u"KPR04703.QR2"_s));
            QFAIL("an undeclared parameter was run");
        } catch (const EKprError &e) {
            QCOMPARE(e.text(), u"Layout 'KPR04703.QR2': conjunto de dados 'filial': o parâmetro ':P_CDFILIAL' do SQL "
                               u"não está declarado em 'parameters'."_s);
        }
        QCOMPARE(ev.afterPrint, 2);
    }

    void parametersAreDeclaredTypedAndEmpty()
    {
        TReportDesignerDialog rpdd;
        QStringList seen;
        rpdd.BeforeGetQueryParams = [&](QObject *, TParams &params, bool &handled) {
            QVERIFY(!handled);
            for (const TParam &p : params)
                seen << u"%1:%2:%3"_s.arg(p.Name(), fieldTypeName(p.DataType())).arg(p.IsNull());
            QVERIFY(rpdd.ExistParam(params, u"p_cdfilial"_s));
            QVERIFY(!rpdd.ExistParam(params, u"P_CDGRUPSERV"_s));
            params.ParamByName(u"P_CDFILIAL"_s)->setValue(u"0002"_s);
            params.ParamByName(u"P_DTINICIAL"_s)->setValue(QDate(2026, 3, 16));
        };
        rpdd.setPrintToFile(path(u"eventos.pdf"_s));
        rpdd.Execute(ReportAction::Preview, path(u"KPR04702.QR2"_s));
        QCOMPARE(seen, (QStringList{u"P_CDFILIAL:String:1"_s, u"P_DTINICIAL:DateTime:1"_s, u"P_QT:Integer:1"_s,
                                    u"P_DTFINALCOMP:Float:1"_s}));
        QCOMPARE(squeezed(pdfText(path(u"eventos.pdf"_s))), u"Filial 0002 desde 16/03/2026"_s);
    }

    void abortAndExportRaiseNoAfterEvent()
    {
        TReportDesignerDialog rpdd;
        Events ev;
        wire(rpdd, ev);
        const QString pdf = path(u"abortado.pdf"_s);
        rpdd.setPrintToFile(pdf);
        rpdd.BeforeGetQueryParams = [&](QObject *, TParams &, bool &) {
            ++ev.beforeParams;
            MensErro(u"Sequência já emitida."_s);
        };
        m_errors.clear();
        for (ReportAction a : {ReportAction::Print, ReportAction::Preview})
            QVERIFY(!runGuarded([&] { rpdd.Execute(a, path(u"KPR04702.QR2"_s)); }));
        QCOMPARE(ev.beforeParams, 2);
        QCOMPARE(m_errors, (QStringList{u"Sequência já emitida."_s, u"Sequência já emitida."_s}));
        QVERIFY(!QFile::exists(pdf));
        QCOMPARE(ev.afterPrint + ev.afterPreview, 0);

        // The per-client export: the engine's file, neither event.
        wire(rpdd, ev);
        TgtExPDFEngine engine;
        engine.setFileName(path(u"0001_CFR.PDF"_s));
        engine.Preferences().ProcessAfterEachPage = true;
        rpdd.ExportReport(path(u"KPR04702.QR2"_s), 0.0, engine);
        QCOMPARE(ev.afterPrint + ev.afterPreview, 0);
        QCOMPARE(pdfInfo(engine.FileName(), u"Title"_s), u"Eventos"_s);
        QCOMPARE(pdfInfo(engine.FileName(), u"Creator"_s), u"kpr-shell"_s);
        QVERIFY(!QFile::exists(pdf));
    }

    void printToTheDefaultFile()
    {
        TReportDesignerDialog rpdd;
        Events ev;
        wire(rpdd, ev);
        const QString pdf = path(u"padrao.pdf"_s);
        TReportDesignerDialog::setDefaultPrintToFile(pdf);
        rpdd.Execute(ReportAction::Print, path(u"KPR04702.QR2"_s));
        TReportDesignerDialog::setDefaultPrintToFile(QString());
        QVERIFY(QFile::exists(pdf));
        QCOMPARE(ev.afterPrint, 1);
    }

    void previewWindowRaisesAfterPreviewWhenClosed()
    {
        TReportDesignerDialog rpdd;
        Events ev;
        wire(rpdd, ev, u"T"_s);
        registerTables(rpdd);
        int pages = -1;
        whenModal([&](QWidget *w) {
            auto *dlg = qobject_cast<QPrintPreviewDialog *>(w);
            QVERIFY(dlg);
            QCOMPARE(dlg->objectName(), u"dlgVisualizar"_s);
            if (auto *preview = dlg->findChild<QPrintPreviewWidget *>())
                pages = preview->pageCount();
            dlg->reject();
        });
        rpdd.Execute(ReportAction::Preview, path(u"KPR04700.QR2"_s));
        QCOMPARE(pages, 3);
        QCOMPARE(ev.afterPreview, 1);
        QCOMPARE(ev.afterPrint, 0);
    }

    void printFromThePreviewRaisesBoth()
    {
        TReportDesignerDialog rpdd;
        Events ev;
        wire(rpdd, ev);
        const QString pdf = path(u"da_visualizacao.pdf"_s);
        whenModal([&](QWidget *w) {
            QAction *print = nullptr;
            for (QAction *a : w->findChildren<QAction *>())
                if (a->text().remove(u'&') == u"Print"_s)
                    print = a;
            QVERIFY(print);
            // The print dialog's own "print to file" entry, as a user would choose it.
            whenModal([&](QWidget *m) {
                auto *printers = m->findChild<QComboBox *>(u"printers"_s);
                auto *file = m->findChild<QLineEdit *>(u"filename"_s);
                if (printers && file) {
                    printers->setCurrentIndex(printers->count() - 1);
                    file->setText(pdf);
                }
                QMetaObject::invokeMethod(m, "accept");
            });
            print->trigger();
        });
        rpdd.Execute(ReportAction::Preview, path(u"KPR04702.QR2"_s));
        if (!QFile::exists(pdf))
            QSKIP("the print dialog of this Qt build has no print-to-file entry");
        QCOMPARE(ev.afterPrint, 1);
        QCOMPARE(ev.afterPreview, 1);
        QCOMPARE(squeezed(pdfText(pdf)), u"Filial 0001 desde 01/03/2026"_s);
    }

    void editAndSaveAsGoToTheirHandlers()
    {
        TReportDesignerDialog rpdd;
        try {
            rpdd.Execute(ReportAction::Edit, path(u"KPR04702.QR2"_s));
            QFAIL("edit ran without an editor");
        } catch (const EKprError &e) {
            QCOMPARE(e.text(), u"O editor de relatórios não está disponível."_s);
        }
        QVERIFY_THROWS_EXCEPTION(EKprError, rpdd.Execute(ReportAction::SaveAs, path(u"KPR04702.QR2"_s)));
        QStringList calls;
        rpdd.setEditHandler([&](const QString &p) { calls << u"edit "_s + p; });
        rpdd.setSaveAsHandler([&](const QString &p) { calls << u"save "_s + p; });
        rpdd.Execute(ReportAction::Edit, u"a.QR2"_s);
        rpdd.Execute(ReportAction::SaveAs, u"b.QR2"_s);
        QCOMPARE(calls, (QStringList{u"edit a.QR2"_s, u"save b.QR2"_s}));
    }

    void baseScreenPrintsThroughRpddPadrao()
    {
        QVERIFY(Context::instance().set(u"ReportDir"_s, m_dir.path()).ok());
        std::unique_ptr<Report> r(CreateForm<Report>());
        QCOMPARE(r->findChild<TReportDesignerDialog *>(u"rpddPadrao"_s), r->rpddPadrao());
        QCOMPARE(r->reportDialog(), r->rpddPadrao());
        // The list shows the titles of the kpr-layout files; a broken file shows its name.
        QCOMPARE(r->cbbReportNames->itemText(0), u"CFR por serviço"_s);
        QCOMPARE(r->cbbReportNames->itemText(4), u"KPR04708.QR2"_s);

        Events ev;
        wire(*r->rpddPadrao(), ev);
        const QString pdf = path(u"tela.pdf"_s);
        r->rpddPadrao()->setPrintToFile(pdf);
        r->cbbReportNames->setCurrentIndex(2);
        r->sbtPrint->click();
        QCOMPARE(ev.afterPrint, 1);
        QCOMPARE(squeezed(pdfText(pdf)), u"Filial 0001 desde 01/03/2026"_s);

        // A broken layout: the error box names the file, nothing prints, no event.
        m_errors.clear();
        r->cbbReportNames->setCurrentIndex(4);
        r->sbtPreview->click();
        QCOMPARE(m_errors.size(), 1);
        QVERIFY2(m_errors[0].startsWith(u"Layout 'KPR04708.QR2': não é um documento JSON válido"_s),
                 qPrintable(m_errors[0]));
        QCOMPARE(ev.afterPreview, 0);
    }

    void pdfEnginePreferences()
    {
        const auto page = [](QPagedPaintDevice &dev, const PdfRenderOptions &) {
            QPainter p(&dev);
            p.drawText(QPointF(100, 100), u"Olá"_s);
        };
        // The options dialog: its title and author go into the file.
        {
            TgtExPDFEngine engine;
            engine.setFileName(path(u"opcoes.pdf"_s));
            engine.Preferences().ShowSetupDialog = true;
            whenModal([](QWidget *w) {
                auto *dlg = qobject_cast<TfrmPDFSetup *>(w);
                QVERIFY(dlg);
                QCOMPARE(dlg->edtTitulo->text(), u"Documento"_s);
                dlg->edtTitulo->setText(u"CFR da filial"_s);
                dlg->edtAutor->setText(u"Setor de Faturamento"_s);
                dlg->accept();
            });
            engine.Export(u"Documento"_s, page);
            QCOMPARE(pdfInfo(engine.FileName(), u"Title"_s), u"CFR da filial"_s);
            QVERIFY(runTool(u"pdfinfo"_s, {u"-meta"_s, engine.FileName()}).contains(u"Setor de Faturamento"_s));
        }
        // Cancelled: a silent abort, and no file.
        {
            TgtExPDFEngine engine;
            engine.setFileName(path(u"cancelado.pdf"_s));
            engine.Preferences().ShowSetupDialog = true;
            whenModal([](QWidget *w) { qobject_cast<QDialog *>(w)->reject(); });
            QVERIFY_THROWS_EXCEPTION(EAbort, engine.Export(u"x"_s, page));
            QVERIFY(!QFile::exists(engine.FileName()));
        }
        // Opened in the desktop's viewer once written.
        {
            UrlSink sink;
            QDesktopServices::setUrlHandler(u"file"_s, &sink, "open");
            TgtExPDFEngine engine;
            engine.setFileName(path(u"aberto.pdf"_s));
            engine.Preferences().OpenAfterCreate = true;
            engine.Export(u"x"_s, page);
            QDesktopServices::unsetUrlHandler(u"file"_s);
            QCOMPARE(sink.urls, QList<QUrl>{QUrl::fromLocalFile(path(u"aberto.pdf"_s))});
        }
        // To the caller's stream; without one, a clear error.
        {
            QBuffer buffer;
            buffer.open(QIODevice::WriteOnly);
            TgtExPDFEngine engine;
            engine.Preferences().OutputToUserStream = true;
            QVERIFY_THROWS_EXCEPTION(EKprError, engine.Export(u"x"_s, page));
            engine.setUserStream(&buffer);
            engine.Export(u"x"_s, page);
            QVERIFY(buffer.data().startsWith("%PDF"));
        }
        // A file that cannot be written, and a failure while painting: no PDF left behind,
        // and an earlier file of that name kept.
        {
            TgtExPDFEngine engine;
            engine.setFileName(path(u"nao/existe/x.pdf"_s));
            try {
                engine.Export(u"x"_s, page);
                QFAIL("wrote into a missing folder");
            } catch (const EKprError &e) {
                QVERIFY2(e.text().startsWith(u"Não foi possível gravar o arquivo PDF '%1' ("_s.arg(engine.FileName())),
                         qPrintable(e.text()));
            }
            engine.setFileName(path(u"aberto.pdf"_s));
            const qint64 before = QFileInfo(engine.FileName()).size();
            QVERIFY_THROWS_EXCEPTION(EKprError,
                                     engine.Export(u"x"_s, [](QPagedPaintDevice &dev, const PdfRenderOptions &) {
                                         QPainter p(&dev);
                                         throw EKprError(u"falhou"_s);
                                     }));
            QCOMPARE(QFileInfo(engine.FileName()).size(), before);
        }
    }
};

int main(int argc, char **argv)
{
    KprApplication app(argc, argv);
    TstReportDialog t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_reportdialog.moc"
