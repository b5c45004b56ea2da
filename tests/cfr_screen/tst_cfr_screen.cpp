// The CFR report screen driven as the user drives it, against the real kpr-appserver on a
// temporary SQLite database shared with the screen's look-up queries; the server's trace
// shows which calls the screen made.
//
// Test data (written straight into the server's tables):
//   0001 "Filial Centro", processing date 31/01/2024, clients C1 (J 11222333000181) and
//        C2 (F 52998224725)
//   0002 "Filial Norte", 15/02/2024, client C4
//   0003 "Filial Sul",   10/03/2024, no clients
//   service groups 01 Refeições, 02 Lanches
// Layouts in the report directory: KPR04700..03 at positions 0..3, KPR04708 at position 4.
#include "cfr/screen/cli_kpr04700.h"
#include "cfr/screen/frmcfr.h"
#include "framework/core/abort.h"
#include "framework/core/dates.h"
#include "framework/data/clientdataset.h"
#include "framework/data/field.h"
#include "framework/data/params.h"
#include "framework/db/dtmdbgeral.h"
#include "framework/net/netconnection.h"
#include "framework/reportdesigner/reportdesignerdialog.h"
#include "framework/screens/mdihost.h"
#include "framework/settings/context.h"
#include "framework/widgets/btnpesquisa.h"
#include "framework/widgets/dateeditplus.h"
#include "framework/widgets/kprapplication.h"
#include "framework/widgets/maskedit.h"
#include "framework/widgets/showavi.h"
#include "shell/mainwindow.h"
#include "shell/packageloader.h"
#include "tests/support/appserverprocess.h"
#include "tests/support/sqlexec.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

extern "C" int PackageLoad();
extern "C" void PackageUnload();
extern "C" void IniProc();

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::cfr;
using kpr::test::AppServerProcess;

namespace {

const QString C1 = u"0000000001"_s, C2 = u"0000000002"_s, C4 = u"0000000004"_s;

// Answers every modal window while it lives: a message box is recorded and closed, any
// other modal window is handed to onModal (or rejected), so no test is left waiting.
class ModalWatch : public QObject
{
public:
    std::function<void(QWidget *)> onModal;
    QStringList boxes;

    ModalWatch()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget *w = QApplication::activeModalWidget();
            if (!w || w == m_handled)
                return;
            m_handled = w;
            if (auto *box = qobject_cast<QMessageBox *>(w)) {
                boxes << box->text();
                box->done(QMessageBox::Ok);
            } else if (onModal) {
                onModal(w);
            } else if (auto *d = qobject_cast<QDialog *>(w)) {
                d->reject();
            }
        });
        m_timer.start(20);
    }

private:
    QTimer m_timer;
    QPointer<QWidget> m_handled;
};

// Records the texts shown while the progress animation appears over a screen.
class AviWatch : public QObject
{
public:
    QStringList texts;
    AviWatch() { qApp->installEventFilter(this); }
    ~AviWatch() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::Show && o->objectName() == u"kprShowAvi"_s)
            texts << showAviText(static_cast<QWidget *>(o)->parentWidget());
        return false;
    }
};

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

} // namespace

class TstCfrScreen : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<AppServerProcess> m_server;
    QSqlDatabase m_db;
    QStringList m_errors;

    bool exec(const QString &sql, const QVariantList &values) { return kpr::test::execSql(m_db, sql, values); }

    bool writeData()
    {
        bool ok = true;
        for (const auto &[code, name, date] : {std::tuple{u"0001"_s, u"Filial Centro"_s, QDate(2024, 1, 31)},
                                               {u"0002"_s, u"Filial Norte"_s, QDate(2024, 2, 15)},
                                               {u"0003"_s, u"Filial Sul"_s, QDate(2024, 3, 10)}})
            ok &= exec(u"INSERT INTO FILIAL (CDFILIAL, NMFILIAL, DTPROCFILI) VALUES (?, ?, ?)"_s, {code, name, date});
        for (const auto &[code, kind, reg, name] : {std::tuple{C1, u"J"_s, u"11222333000181"_s, u"Empresa Alfa Ltda"_s},
                                                    {C2, u"F"_s, u"52998224725"_s, u"Beto Pereira"_s},
                                                    {C4, u"J"_s, u"04252011000110"_s, u"Delta Norte Ltda"_s}})
            ok &= exec(u"INSERT INTO CLIENTE (CDCLIENTE, IDTPIJURCLIE, NRINSJURCLIE, NMRAZSOCCLIE, NMFANTCLIE) "
                       "VALUES (?, ?, ?, ?, ?)"_s,
                       {code, kind, reg, name, name.section(u' ', 0, 0)});
        for (const auto &[b, c] : {std::pair{u"0001"_s, C1}, {u"0001"_s, C2}, {u"0002"_s, C4}})
            ok &= exec(u"INSERT INTO CLIEFILI (CDFILIAL, CDCLIENTE) VALUES (?, ?)"_s, {b, c});
        ok &= exec(u"INSERT INTO GRUPSERV (CDGRUPSERV, NMGRUPSERV) VALUES (?, ?)"_s, {u"01"_s, u"Refeições"_s});
        ok &= exec(u"INSERT INTO GRUPSERV (CDGRUPSERV, NMGRUPSERV) VALUES (?, ?)"_s, {u"02"_s, u"Lanches"_s});
        // Lunch for client 1 on three January days.
        ok &= exec(u"INSERT INTO SERVFILI (CDFILIAL, CDSERVFILI, NMSERVICO, CDGRUPSERV) VALUES (?, ?, ?, ?)"_s,
                   {u"0001"_s, u"001"_s, u"Almoço"_s, u"01"_s});
        ok &= exec(
            u"INSERT INTO PRECSERV (CDFILIAL, CDCLIENTE, CDSERVFILI, DTVIGENCIA, VRPRECUNIT) VALUES (?, ?, ?, ?, ?)"_s,
            {u"0001"_s, C1, u"001"_s, QDate(2023, 12, 1), 18.5});
        for (int d : {2, 3, 11})
            ok &= exec(
                u"INSERT INTO EFETIVO (CDFILIAL, CDCLIENTE, CDSERVFILI, DTEFETIVO, NREFETIVOS) VALUES (?, ?, ?, ?, ?)"_s,
                {u"0001"_s, C1, u"001"_s, QDate(2024, 1, d), 100 + d});
        return ok;
    }

    void setContext(const QString &fat, const QString &nomeFat, bool moduFili = false)
    {
        Context &c = Context::instance();
        QVERIFY(c.set(u"FiliProcFat"_s, fat));
        QVERIFY(c.set(u"NomeFiliProcFat"_s, nomeFat));
        QVERIFY(c.set(u"FiliProc"_s, u"0002"_s));
        QVERIFY(c.set(u"NomeFiliProc"_s, u"Filial Norte"_s));
        QVERIFY(c.set(u"ModuFili"_s, moduFili ? u"true"_s : u"false"_s));
        QVERIFY(c.set(u"WebURL"_s, m_server->host()));
        QVERIFY(c.set(u"WebPort"_s, QString::number(m_server->port())));
        QVERIFY(c.set(u"ReportDir"_s, QString::fromUtf8(KPR_LAYOUTS_DIR)));
    }

    // IniProc of the linked report unit; answers the open screen.
    TfrmCFR *open()
    {
        IniProc();
        return frmCFR.data();
    }

    // Leaving a control by the keyboard, as the user does.
    static void tabFrom(QWidget *w)
    {
        w->setFocus(Qt::TabFocusReason);
        QTest::keyClick(w, Qt::Key_Tab);
    }

    bool validates(TfrmCFR *f)
    {
        m_errors.clear();
        return runGuarded([f] { f->Validacao(); });
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Prints and previews go to a PDF file, without any window.
        TReportDesignerDialog::setDefaultPrintToFile(m_dir.filePath(u"impressao.pdf"_s));
        const QString url = u"sqlite:"_s + m_dir.filePath(u"server.db"_s);
        m_server = std::make_unique<AppServerProcess>(QString::fromUtf8(KPR_APPSERVER_EXE));
        const Status up = m_server->start(url);
        QVERIFY2(up, qPrintable(up.error()));
        Result<QSqlDatabase> db = openDatabase(url, u"cfr-writer"_s);
        QVERIFY2(db, qPrintable(db.error()));
        m_db = db.value();
        QVERIFY(writeData());
        QVERIFY2(dtmDBGeral::open(url), "dtmDBGeral");
        setErrorPresenter([this](const QString &t) { m_errors << t; });
        PackageLoad();
    }

    void init()
    {
        setContext(u"0001"_s, u"Filial Centro"_s);
        m_errors.clear();
    }

    void cleanup()
    {
        setErrorPresenter([this](const QString &t) { m_errors << t; });
        if (frmCFR)
            frmCFR->close();
        flushDeletes();
        QVERIFY(!frmCFR);
        QVERIFY(!FormCriado);
    }

    void cleanupTestCase()
    {
        PackageUnload();
        dtmDBGeral::close();
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(u"cfr-writer"_s);
        if (m_server)
            QVERIFY(m_server->stop());
    }

    // The package as the shell loads it: one MDI child however often IniProc runs, brought
    // back from minimised; a fixed window.
    void iniProcOfThePackageKeepsOneMdiChild()
    {
        shell::PackageLoader loader; // unloads after the area and its screens are gone
        QMdiArea area;
        area.resize(900, 600);
        area.show();
        MdiHost::setArea(&area);
        QVERIFY(loader.call(QString::fromUtf8(KPR_PACKAGE_FILE), u"IniProc"_s));
        QVERIFY(loader.call(QString::fromUtf8(KPR_PACKAGE_FILE), u"IniProc"_s));
        QCOMPARE(area.subWindowList().size(), 1);
        QMdiSubWindow *sub = area.subWindowList().first();
        QCOMPARE(sub->widget()->objectName(), u"frmCFR"_s);
        QCOMPARE(sub->windowTitle(), u"Conhecimento de Fornecimento de Refeições (CFR)"_s);
        QVERIFY(!(sub->windowFlags() & Qt::WindowMaximizeButtonHint));
        sub->showMinimized();
        QVERIFY(sub->isMinimized());
        QVERIFY(loader.call(QString::fromUtf8(KPR_PACKAGE_FILE), u"IniProc"_s));
        QCOMPARE(area.subWindowList().size(), 1);
        QVERIFY(!sub->isMinimized());
        QVERIFY(m_errors.isEmpty());
        QVERIFY(!frmCFR); // the linked unit's state is not the package's

        QPointer<QMdiSubWindow> guard(sub);
        sub->close();
        flushDeletes();
        QVERIFY(!guard);
        MdiHost::setArea(nullptr);
        loader.unloadAll();
    }

    // The shell's menu entry opens the package's screen as a child of frmPrincipal; quitting
    // closes it (its close runs) before the package unloads.
    void shellMenuOpensTheScreenAsMdiChild()
    {
        Result<QList<shell::MenuEntry>> menu = shell::readMenuFile(QString::fromUtf8(KPR_MENU_FILE));
        QVERIFY(menu);
        QPointer<QWidget> screen;
        {
            shell::MainWindow window(menu.value(), {QFileInfo(QString::fromUtf8(KPR_PACKAGE_FILE)).path()});
            window.show();
            QCOMPARE(window.objectName(), u"frmPrincipal"_s);
            auto *action = window.findChild<QAction *>(u"act_IniProc"_s);
            QVERIFY(action);
            QCOMPARE(action->text(), u"Conhecimento de Fornecimento de Refeições (CFR)"_s);
            action->trigger();
            QCOMPARE(window.mdiArea()->subWindowList().size(), 1);
            screen = window.mdiArea()->subWindowList().first()->widget();
            QCOMPARE(screen->objectName(), u"frmCFR"_s);
            QCOMPARE(window.windowTitle(), u"KPR - [Conhecimento de Fornecimento de Refeições (CFR)]"_s);
            QCOMPARE(window.loader().loadedPackages(), QStringList{u"libkpr04700.so"_s});
            const int before = m_server->traceCount();
            window.close();
            QCOMPARE(m_server->traceCount(), before); // a close without output calls nothing
        }
        QVERIFY(!screen);
        QVERIFY(m_errors.isEmpty());
    }

    void creationDefaultsWithBillingBranch()
    {
        const int before = m_server->traceCount();
        TfrmCFR *f = open();
        QVERIFY(f);
        QVERIFY(FormCriado);
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(f->windowTitle(), u"Conhecimento de Fornecimento de Refeições (CFR)"_s);
        QCOMPARE(f->lblCodTela->text(), u"KPR04700"_s);
        QCOMPARE(f->lblCodRel->text(), u"KPR047"_s);
        QCOMPARE(f->panFiltro->size(), QSize(476, 168));
        QCOMPARE(f->netCFR->serverName(), u"Kpr04700.rdmCFR"_s);
        QVERIFY(!f->netCFR->throwException());
        QVERIFY(f->netCFR->connected());
        QCOMPARE(f->netCFR->port(), m_server->port());
        QCOMPARE(f->medCdFilial->text(), u"0001"_s);
        QCOMPARE(f->edtNmFilial->text(), u"Filial Centro"_s);
        QCOMPARE(f->depDtInicial->text(), u"31/01/2024"_s);
        QCOMPARE(f->depDtFinal->text(), u"31/01/2024"_s);
        QVERIFY(f->rdgTodos->isChecked() && !f->rdgLista->isChecked() && !f->btpLista->isEnabled());
        QVERIFY(f->medCdFilial->isEnabled() && f->btpFilial->isEnabled() && f->lblFilial->isEnabled());
        QCOMPARE(f->cbbReportNames->count(), 5);
        QCOMPARE(f->qryClieFili->RecordCount(), 2);
        QVERIFY(lstFiliais && lstFiliais->isEmpty() && lstApuracoes && lstApuracoes->isEmpty());
        QVERIFY(f->qryCFRSintData->Active() && f->qryCFRSintData->IsEmpty());
        QCOMPARE(f->qryCFRSintServ->IndexName(), u"Agrupamento"_s);
        QCOMPARE(f->msgPadrao->Msg(u"DIR_REL_SALVOS"_s), u"CFR\\"_s);
        QCOMPARE(f->msgPadrao->lines().size(), 20);
        const auto calls = m_server->trace(before);
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].method, u"GetClieFili"_s);
        QCOMPARE(calls[0].args, QJsonArray{u"0001"_s});

        // The registration number through the mask of its kind of person.
        f->qryClieFili->First();
        QCOMPARE(f->qryClieFili->FieldByName(u"NRINSJURCLIE"_s)->DisplayText(), u"11.222.333/0001-81"_s);
        f->qryClieFili->Next();
        QCOMPARE(f->qryClieFili->FieldByName(u"NRINSJURCLIE"_s)->Text(), u"529.982.247-25"_s);

        // A second IniProc applies no defaults again and makes no call.
        f->medCdFilial->setText(u"0002"_s);
        QCOMPARE(open(), f);
        QCOMPARE(f->medCdFilial->text(), u"0002"_s);
        QCOMPARE(m_server->traceCount(), before + 1);
    }

    void creationDefaultsWithoutBillingBranch()
    {
        setContext(QString(), QString());
        const int before = m_server->traceCount();
        TfrmCFR *f = open();
        QVERIFY(f);
        QCOMPARE(f->medCdFilial->text(), u"0002"_s);
        QCOMPARE(f->edtNmFilial->text(), u"Filial Norte"_s);
        QCOMPARE(f->depDtInicial->GetDate(), QDate(2024, 2, 15));
        QCOMPARE(f->depDtFinal->GetDate(), QDate(2024, 2, 15));
        QCOMPARE(m_server->trace(before).value(0).args, QJsonArray{u"0002"_s});
        QCOMPARE(f->qryClieFili->RecordCount(), 1);
    }

    void moduFiliLocksTheBranch()
    {
        setContext(u"0001"_s, u"Filial Centro"_s, true);
        TfrmCFR *f = open();
        QVERIFY(f);
        QVERIFY(!f->medCdFilial->isEnabled());
        QVERIFY(!f->btpFilial->isEnabled());
        QVERIFY(!f->lblFilial->isEnabled());
    }

    // The close deletes the rows of every apuration number of the screen, in the order the
    // branches were first used; with none, it calls nothing but still shows its progress.
    void closeDeletesTheScreensApurations()
    {
        TfrmCFR *f = open();
        QVERIFY(f);
        ClientesLista = u"_0000000001_"_s;
        GrupServLista = u"_01_"_s;
        {
            AviWatch avi;
            const int before = m_server->traceCount();
            f->close();
            flushDeletes();
            QVERIFY(!frmCFR);
            QCOMPARE(m_server->traceCount(), before);
            QCOMPARE(avi.texts, QStringList{u"Excluindo registros temporários..."_s});
        }
        QVERIFY(ClientesLista.isEmpty());
        QVERIFY(!lstFiliais && !lstApuracoes);

        f = open();
        QVERIFY(f);
        QCOMPARE(GrupServLista, u"_01_"_s); // the service-group choice outlives the screen
        lstFiliais->append({u"0002"_s, u"0001"_s});
        lstApuracoes->append({u"0000000017"_s, u"0000000018"_s});
        const int before = m_server->traceCount();
        f->close();
        flushDeletes();
        QVERIFY(!frmCFR);
        const auto calls = m_server->trace(before);
        QCOMPARE(calls.size(), 2);
        QCOMPARE(calls[0].method, u"ProDelTableRelApur"_s);
        QCOMPARE(calls[0].args, (QJsonArray{u"0002"_s, u"0000000017"_s}));
        QCOMPARE(calls[1].args, (QJsonArray{u"0001"_s, u"0000000018"_s}));
        GrupServLista.clear();
    }

    // A deletion the server cannot take keeps the screen open with its lists; the next close
    // repeats every deletion from the first.
    void failedDeletionKeepsTheScreenOpen()
    {
        TfrmCFR *f = open();
        QVERIFY(f);
        lstFiliais->append({u"0001"_s, u"0002"_s});
        lstApuracoes->append({u"0000000021"_s, u"0000000022"_s});
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const int closedPort = probe.serverPort();
        probe.close();
        f->netCFR->setConnected(false);
        QVERIFY(Context::instance().set(u"WebPort"_s, QString::number(closedPort)));
        {
            AviWatch avi;
            f->close();
            flushDeletes();
            QCOMPARE(avi.texts.size(), 1);
        }
        QCOMPARE(frmCFR.data(), f);
        QVERIFY(FormCriado);
        QVERIFY(!showAviOverlay(f)); // the animation came down
        QCOMPARE(m_errors.size(), 1);
        QCOMPARE(*lstFiliais, (QStringList{u"0001"_s, u"0002"_s}));

        QVERIFY(Context::instance().set(u"WebPort"_s, QString::number(m_server->port())));
        const int before = m_server->traceCount();
        f->close();
        flushDeletes();
        QVERIFY(!frmCFR);
        const auto calls = m_server->trace(before);
        QCOMPARE(calls.size(), 2);
        QCOMPARE(calls[0].args, (QJsonArray{u"0001"_s, u"0000000021"_s}));
    }

    void leavingTheBranchField()
    {
        TfrmCFR *f = open();
        QVERIFY(f);
        f->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f));

        f->medCdFilial->clear();
        QVERIFY(f->edtNmFilial->text().isEmpty()); // a change of the code empties the name
        tabFrom(f->medCdFilial);                   // leaving it empty is allowed
        QVERIFY(m_errors.isEmpty());

        f->medCdFilial->setFocus();
        QTest::keyClicks(f->medCdFilial, u"1"_s);
        QTest::keyClick(f->medCdFilial, Qt::Key_Tab);
        QCOMPARE(f->medCdFilial->text(), u"0001"_s);
        QCOMPARE(f->edtNmFilial->text(), u"Filial Centro"_s);
        QVERIFY(m_errors.isEmpty());

        f->medCdFilial->clear();
        f->medCdFilial->setFocus();
        QTest::keyClicks(f->medCdFilial, u"9"_s);
        QTest::keyClick(f->medCdFilial, Qt::Key_Tab);
        QCOMPARE(m_errors, QStringList{u"Filial não cadastrada."_s});
        QCOMPARE(f->medCdFilial->text(), u"0009"_s);
        QVERIFY(f->edtNmFilial->text().isEmpty());
        QCOMPARE(QApplication::focusWidget(), f->medCdFilial);
    }

    // An invalid date on leaving the field is reported once in a real message box, and the
    // focus goes back to the field.
    void leavingADateFieldWithAnImpossibleDate()
    {
        installMessageBoxPresenter();
        TfrmCFR *f = open();
        QVERIFY(f);
        f->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f));
        ModalWatch modal;
        f->depDtInicial->clear();
        f->depDtInicial->setFocus();
        QTest::keyClicks(f->depDtInicial, u"31022024"_s);
        QCOMPARE(f->depDtInicial->text(), u"31/02/2024"_s);
        QTest::keyClick(f->depDtInicial, Qt::Key_Tab);
        QTRY_COMPARE(modal.boxes, QStringList{u"Data inválida: 31/02/2024."_s});
        QTest::qWait(100);
        QCOMPARE(modal.boxes.size(), 1);
        QTRY_COMPARE(f->focusWidget(), f->depDtInicial);
    }

    void validationStopsAtTheEmptyBranch()
    {
        TfrmCFR *f = open();
        QVERIFY(f);
        f->medCdFilial->clear();
        f->depDtInicial->clear(); // would fail next, but the branch comes first
        f->sbtPrint->click();
        QCOMPARE(m_errors, QStringList{u"Filial deve ser informada."_s});
        QCOMPARE(f->focusWidget(), f->medCdFilial);
    }

    void periodChecks_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("inicial");
        QTest::addColumn<QString>("final");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("focus");
        // 1/1 to 1/2 lie 31 days apart, 1/1 to 2/2 32 days.
        QTest::newRow("by date 1, 31 days") << 1 << u"01/01/2024"_s << u"01/02/2024"_s << QString() << QString();
        const QString limit = u"Intervalo entre data inicial e data final deve ser menor ou igual a 31 dias."_s;
        QTest::newRow("by date 1, 32 days") << 1 << u"01/01/2024"_s << u"02/02/2024"_s << limit << u"depDtFinal"_s;
        QTest::newRow("by date 3, 32 days") << 3 << u"01/01/2024"_s << u"02/02/2024"_s << limit << u"depDtFinal"_s;
        QTest::newRow("by service 0, 32 days") << 0 << u"01/01/2024"_s << u"02/02/2024"_s << QString() << QString();
        QTest::newRow("by service 2, a year") << 2 << u"01/01/2024"_s << u"31/12/2024"_s << QString() << QString();
        QTest::newRow("layout 08 at 4, 32 days") << 4 << u"01/01/2024"_s << u"02/02/2024"_s << QString() << QString();
        QTest::newRow("same day") << 1 << u"10/01/2024"_s << u"10/01/2024"_s << QString() << QString();
        QTest::newRow("final before initial")
            << 0 << u"10/01/2024"_s << u"09/01/2024"_s << u"Data inicial deve ser menor ou igual a data final."_s
            << u"depDtInicial"_s;
        QTest::newRow("no initial") << 0 << QString() << u"09/01/2024"_s << u"Data inicial deve ser informada."_s
                                    << u"depDtInicial"_s;
        QTest::newRow("no final") << 0 << u"09/01/2024"_s << QString() << u"Data final deve ser informada."_s
                                  << u"depDtFinal"_s;
    }

    void periodChecks()
    {
        QFETCH(int, position);
        QFETCH(QString, inicial);
        QFETCH(QString, final);
        QFETCH(QString, error);
        QFETCH(QString, focus);
        TfrmCFR *f = open();
        QVERIFY(f);
        f->cbbReportNames->setCurrentIndex(position);
        f->depDtInicial->setText(inicial);
        f->depDtFinal->setText(final);
        f->depDtFinal->setFocus(); // where the user was; the 31-day failure leaves it there
        QCOMPARE(validates(f), error.isEmpty());
        QCOMPARE(m_errors, error.isEmpty() ? QStringList() : QStringList{error});
        if (!focus.isEmpty())
            QCOMPARE(f->focusWidget()->objectName(), focus);
    }

    // "Lista" needs a selection made on this screen; the search loads the branch's clients,
    // shows their registration numbers masked and hands back the chosen keys.
    void clientList()
    {
        TfrmCFR *f = open();
        QVERIFY(f);
        f->rdgLista->click();
        QVERIFY(f->rdgLista->isChecked() && !f->rdgTodos->isChecked() && f->btpLista->isEnabled());
        QVERIFY(!validates(f));
        QCOMPARE(m_errors, QStringList{u"Cliente deve ser informado."_s});
        QCOMPARE(f->focusWidget(), f->rdgLista);

        QString shown;
        ModalWatch modal;
        modal.onModal = [&](QWidget *w) {
            auto *grid = w->findChild<QAbstractItemView *>(u"grdPesquisaLista"_s);
            QAbstractItemModel *m = grid->model();
            for (int c = 0; c < m->columnCount(); ++c)
                if (m->headerData(c, Qt::Horizontal).toString() == u"Inscrição"_s)
                    shown = m->index(0, c).data().toString();
            m->setData(m->index(1, 0), Qt::Checked, Qt::CheckStateRole);
            w->findChild<QPushButton *>(u"btnOk"_s)->click();
        };
        const int before = m_server->traceCount();
        f->btpLista->click();
        QCOMPARE(shown, u"11.222.333/0001-81"_s);
        QCOMPARE(ClientesLista, u"_0000000002_"_s);
        QCOMPARE(m_server->trace(before).value(0).method, u"GetClieFili"_s);
        QVERIFY(validates(f));

        f->rdgTodos->click();
        QVERIFY(!f->btpLista->isEnabled() && !f->rdgLista->isChecked());
        QCOMPARE(ClientesLista, u"_0000000002_"_s); // the click keeps the selection
    }

    void branchWithoutClients()
    {
        TfrmCFR *f = open();
        QVERIFY(f);
        ClientesLista = u"_0000000001_"_s;
        f->medCdFilial->setText(u"0003"_s);
        f->rdgLista->click();
        ModalWatch modal; // a list coming up would be a fault: it is rejected and seen below
        bool listShown = false;
        modal.onModal = [&](QWidget *w) {
            listShown = true;
            qobject_cast<QDialog *>(w)->reject();
        };
        f->btpLista->click();
        QCOMPARE(m_errors, QStringList{u"Não há cliente cadastrado."_s});
        QVERIFY(!listShown);
        QCOMPARE(ClientesLista, u"_0000000001_"_s);
        QCOMPARE(f->focusWidget(), f->rdgLista);
    }

    void serviceGroupRuleByLayout()
    {
        TfrmCFR *f = open();
        QVERIFY(f);
        QCOMPARE(f->layoutNumbers().value(4), u"08"_s);
        QCOMPARE(f->cbbReportNames->currentIndex(), 0);
        QVERIFY(!f->grbGrupServ->isEnabled() && f->rdbGrupServTodos->isChecked());

        f->cbbReportNames->setCurrentIndex(4);
        for (QWidget *w :
             std::initializer_list<QWidget *>{f->grbGrupServ, f->rdbGrupServTodos, f->rdbGrupServLista, f->btpGrupServ})
            QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
        f->rdbGrupServLista->click();
        QVERIFY(GrupServLista.isEmpty());
        for (QToolButton *b : {f->sbtPrint, f->sbtPreview, f->sbtSalvarComo, f->sbtReportEdit, f->sbtEnviarEmail}) {
            m_errors.clear();
            b->click();
            QCOMPARE(m_errors, QStringList{u"Grupo de Serviço deve ser informado."_s});
        }
        QCOMPARE(f->focusWidget(), f->rdbGrupServLista);

        // A search empties the earlier selection first; cancelled, it stays empty.
        GrupServLista = u"_01_"_s;
        {
            ModalWatch modal;
            f->btpGrupServ->click();
        }
        QVERIFY(GrupServLista.isEmpty());
        {
            ModalWatch modal;
            modal.onModal = [](QWidget *w) {
                QAbstractItemModel *m = w->findChild<QAbstractItemView *>(u"grdPesquisaLista"_s)->model();
                m->setData(m->index(1, 0), Qt::Checked, Qt::CheckStateRole);
                w->findChild<QPushButton *>(u"btnOk"_s)->click();
            };
            f->btpGrupServ->click();
        }
        QCOMPARE(GrupServLista, u"_02_"_s);

        // Another layout: the box is disabled with "Todos", the selection kept, the check
        // skipped; the checks pass and the base screen's report handling runs.
        GrupServLista.clear();
        f->cbbReportNames->setCurrentIndex(2);
        QVERIFY(!f->grbGrupServ->isEnabled() && f->rdbGrupServTodos->isChecked());
        QVERIFY(!f->rdbGrupServLista->isChecked() && !f->btpGrupServ->isEnabled());
        m_errors.clear();
        QFile::remove(m_dir.filePath(u"impressao.pdf"_s));
        f->sbtPrint->click();
        QCOMPARE(m_errors, QStringList());
        QVERIFY(QFileInfo(m_dir.filePath(u"impressao.pdf"_s)).size() > 0);
    }

    // Every output button runs the apuration after its checks: a number is asked for the
    // branch once, the direct-management apuration on every run, then the pass of the
    // layout's family, all under one progress text that comes down at the end.
    void outputActionsRunTheApuration()
    {
        TfrmCFR *f = open();
        QVERIFY(f);
        f->depDtInicial->SetDate(QDate(2024, 1, 1));
        f->depDtFinal->SetDate(QDate(2024, 1, 11));
        f->cbbReportNames->setCurrentIndex(1); // by date
        auto methods = [](const QList<kpr::test::TracedCall> &calls) {
            QStringList m;
            for (const auto &c : calls)
                m << c.method;
            return m;
        };
        int before = m_server->traceCount();
        {
            AviWatch avi;
            f->sbtPreview->click();
            QCOMPARE(avi.texts, QStringList{u"Gerando dados para o relatório..."_s});
        }
        QVERIFY(!showAviOverlay(f));
        QStringList calls = methods(m_server->trace(before));
        QCOMPARE(calls.mid(0, 4),
                 (QStringList{u"ProPrxRelApurFat"_s, u"ProRelGesDireta"_s, u"GetCFRSintData"_s, u"GetClieSelect"_s}));
        // The preview (written to a file here) follows, then the stored statement goes.
        QCOMPARE(calls.mid(calls.size() - 2), (QStringList{u"SetCRFSintDados"_s, u"DelCRFSintDados"_s}));
        QCOMPARE(*lstFiliais, QStringList{u"0001"_s});
        QCOMPARE(lstApuracoes->size(), 1);
        const auto gesDireta = m_server->trace(before).value(1).args;
        QCOMPARE(gesDireta.at(3).toString(), lstApuracoes->at(0));
        QCOMPARE(gesDireta.at(4).toString(), QString());
        QCOMPARE(f->qryClieSelect->RecordCount(), 1); // the one client with meals
        QVERIFY(f->qryClieSelect->Eof());
        QCOMPARE(f->qryCFRSintData->RecordCount(), 2); // windows 1 and 2 of its one service
        QCOMPARE(f->qryCFRSintData->RecNo(), 1);
        QCOMPARE(f->qryCFRSintData->FieldByName(u"NRAPURACGD"_s)->AsString(), lstApuracoes->at(0));

        // A by-service layout on the same branch reuses the number.
        f->cbbReportNames->setCurrentIndex(2);
        before = m_server->traceCount();
        f->sbtPrint->click();
        calls = methods(m_server->trace(before));
        QCOMPARE(calls, (QStringList{u"ProRelGesDireta"_s, u"GetCFRSintServ"_s, u"GetClieSelect"_s,
                                     u"GetQtdeEfetServ"_s, u"DelCRFSintDados"_s}));
        QCOMPARE(lstApuracoes->size(), 1);
        QCOMPARE(f->qryCFRSintServ->RecordCount(), 3); // one row per day served
        QCOMPARE(f->qryCFRSintServ->RecNo(), 1);
    }

    // The parameters a layout declares, as the screen fills them, by the period's start
    // (fortnight), its end (the next day's start as a plain number) and the client choice.
    void reportParameters_data()
    {
        QTest::addColumn<QDate>("inicio");
        QTest::addColumn<QDate>("fim");
        QTest::addColumn<bool>("todos");
        QTest::addColumn<QString>("dtcdrs");
        QTest::newRow("15th, all clients") << QDate(2024, 3, 15) << QDate(2024, 3, 31) << true << u"01/03/2024"_s;
        QTest::newRow("16th, list") << QDate(2024, 3, 16) << QDate(2024, 3, 31) << false << u"16/03/2024"_s;
        QTest::newRow("31st") << QDate(2024, 1, 31) << QDate(2024, 2, 29) << true << u"16/01/2024"_s;
    }

    void reportParameters()
    {
        QFETCH(QDate, inicio);
        QFETCH(QDate, fim);
        QFETCH(bool, todos);
        QFETCH(QString, dtcdrs);
        TfrmCFR *f = open();
        QVERIFY(f);
        lstFiliais->append({u"0002"_s, u"0001"_s});
        lstApuracoes->append({u"0000000031"_s, u"0000000032"_s});
        f->depDtInicial->SetDate(inicio);
        f->depDtFinal->SetDate(fim);
        (todos ? f->rdgTodos : f->rdgLista)->setChecked(true);
        ClientesLista = u"_0000000001__0000000002_"_s;
        f->cbbReportNames->setCurrentIndex(1); // no sequence request
        GrupServLista = u"_02_"_s;
        f->rdbGrupServLista->setChecked(true);

        TParams p;
        for (const QString &n : {u"P_CDFILIAL"_s, u"P_NRAPURACGD"_s, u"P_CDCLIENTE"_s, u"P_TCDCLIENTE"_s,
                                 u"P_DATAINI"_s, u"P_DATAFIN"_s, u"P_DTCDRS"_s, u"P_CDGRUPSERV"_s})
            p.CreateParam(ftString, n);
        p.CreateParam(ftDateTime, u"P_DTINICIAL"_s);
        p.CreateParam(ftDateTime, u"P_DTFINAL"_s);
        p.CreateParam(ftFloat, u"P_DTFINALCOMP"_s);
        bool handled = false;
        const int before = m_server->traceCount();
        QVERIFY(runGuarded([&] { f->rpddPadraoBeforeGetQueryParams(f, p, handled); }));
        QCOMPARE(m_server->traceCount(), before);
        QVERIFY(!handled);
        QCOMPARE(p.ParamByName(u"P_CDFILIAL"_s)->AsString(), u"0001"_s);
        QCOMPARE(p.ParamByName(u"P_NRAPURACGD"_s)->AsString(), u"0000000032"_s);
        QCOMPARE(p.ParamByName(u"P_CDCLIENTE"_s)->AsString(), todos ? u"T"_s : ClientesLista);
        QCOMPARE(p.ParamByName(u"P_TCDCLIENTE"_s)->AsString(), todos ? u"T"_s : QString());
        QCOMPARE(p.ParamByName(u"P_DATAINI"_s)->AsString(), formatDateBR(inicio));
        QCOMPARE(p.ParamByName(u"P_DATAFIN"_s)->AsString(), formatDateBR(fim));
        QCOMPARE(p.ParamByName(u"P_DTINICIAL"_s)->AsDate(), inicio);
        QCOMPARE(p.ParamByName(u"P_DTFINAL"_s)->AsDate(), fim);
        const QVariant comp = p.ParamByName(u"P_DTFINALCOMP"_s)->Value();
        QCOMPARE(comp.typeId(), QMetaType::Double);
        QCOMPARE(comp.toDouble(), toDayNumber(fim.addDays(1)));
        QCOMPARE(p.ParamByName(u"P_DTCDRS"_s)->AsString(), dtcdrs);
        QCOMPARE(p.ParamByName(u"P_CDGRUPSERV"_s)->AsString(), u"_02_"_s);
        f->rdbGrupServTodos->setChecked(true);
        QVERIFY(runGuarded([&] { f->rpddPadraoBeforeGetQueryParams(f, p, handled); }));
        QCOMPARE(p.ParamByName(u"P_CDGRUPSERV"_s)->AsString(), u"T"_s);
        GrupServLista.clear();
    }

    // The numbered statements ask for their CFR sequence with the last client of the run;
    // a layout declaring none of the parameters still makes the request; a refusal is shown
    // and stops the filling before the fortnight start and the groups.
    void sequenceRequest()
    {
        TfrmCFR *f = open();
        QVERIFY(f);
        f->depDtInicial->SetDate(QDate(2024, 1, 1));
        f->depDtFinal->SetDate(QDate(2024, 1, 11));
        f->cbbReportNames->setCurrentIndex(3);
        QVERIFY(runGuarded([f] { f->GeraTableApurFat(); }));
        TParams nenhum;
        bool handled = false;
        int before = m_server->traceCount();
        QVERIFY(runGuarded([&] { f->rpddPadraoBeforeGetQueryParams(f, nenhum, handled); }));
        auto calls = m_server->trace(before);
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].method, u"GetSequencial"_s);
        QCOMPARE(calls[0].args.at(0).toDouble(), toDayNumber(QDate(2024, 1, 1)));
        QCOMPARE(calls[0].args.at(1).toString(), u"0001"_s);
        QCOMPARE(calls[0].args.at(3).toString(), lstApuracoes->at(0));
        QCOMPARE(calls[0].args.at(4).toString(), C1);
        QCOMPARE(calls[0].args.at(5).toString(), u"1"_s);

        // Nor does the layout editor's preview, which emits nothing.
        f->rpddPadrao()->setParaEdicao(true);
        before = m_server->traceCount();
        QVERIFY(runGuarded([&] { f->rpddPadraoBeforeGetQueryParams(f, nenhum, handled); }));
        QCOMPARE(m_server->traceCount(), before);
        f->rpddPadrao()->setParaEdicao(false);

        // Position 2 never asks, whatever its layout.
        f->cbbReportNames->setCurrentIndex(2);
        before = m_server->traceCount();
        QVERIFY(runGuarded([&] { f->rpddPadraoBeforeGetQueryParams(f, nenhum, handled); }));
        QCOMPARE(m_server->traceCount(), before);

        // A period without meals: the server refuses and the refusal is what the user sees.
        f->cbbReportNames->setCurrentIndex(0);
        f->depDtInicial->SetDate(QDate(2024, 2, 16));
        f->depDtFinal->SetDate(QDate(2024, 2, 20));
        QVERIFY(runGuarded([f] { f->GeraTableApurFat(); }));
        TParams p;
        p.CreateParam(ftString, u"P_DTCDRS"_s);
        p.CreateParam(ftString, u"P_CDFILIAL"_s);
        m_errors.clear();
        QVERIFY(!runGuarded([&] { f->rpddPadraoBeforeGetQueryParams(f, p, handled); }));
        QCOMPARE(m_errors, QStringList{u"Não há dados apurados para emissão do CFR."_s});
        QCOMPARE(p.ParamByName(u"P_CDFILIAL"_s)->AsString(), u"0001"_s);
        QVERIFY(p.ParamByName(u"P_DTCDRS"_s)->IsNull());

        // A request that does not reach the server stops the filling too.
        f->netCFR->setConnected(false);
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const int closedPort = probe.serverPort();
        probe.close();
        QVERIFY(Context::instance().set(u"WebPort"_s, QString::number(closedPort)));
        m_errors.clear();
        QVERIFY(!runGuarded([&] { f->rpddPadraoBeforeGetQueryParams(f, p, handled); }));
        QCOMPARE(m_errors.size(), 1);
        QVERIFY(p.ParamByName(u"P_DTCDRS"_s)->IsNull());
        QVERIFY(Context::instance().set(u"WebPort"_s, QString::number(m_server->port())));
    }

    // After a print or a preview the stored statement of the current qryCFRSintData row is
    // removed; with an empty table the number is empty.
    void afterPrintAndPreviewRemoveTheStatement()
    {
        TfrmCFR *f = open();
        QVERIFY(f);
        f->depDtInicial->SetDate(QDate(2024, 1, 1));
        f->depDtFinal->SetDate(QDate(2024, 1, 11));
        f->cbbReportNames->setCurrentIndex(1);
        QVERIFY(runGuarded([f] { f->GeraTableApurFat(); }));
        int before = m_server->traceCount();
        QVERIFY(runGuarded([f] { f->rpddPadraoQRPAfterPrint(f); }));
        QVERIFY(runGuarded([f] { f->rpddPadraoQRPAfterPreview(f); }));
        auto calls = m_server->trace(before);
        QCOMPARE(calls.size(), 2);
        for (const auto &c : calls) {
            QCOMPARE(c.method, u"DelCRFSintDados"_s);
            QCOMPARE(c.args, (QJsonArray{u"0001"_s, lstApuracoes->at(0)}));
        }
        f->qryCFRSintData->EmptyDataSet();
        before = m_server->traceCount();
        QVERIFY(runGuarded([f] { f->rpddPadraoQRPAfterPreview(f); }));
        QCOMPARE(m_server->trace(before).value(0).args, (QJsonArray{u"0001"_s, QString()}));
    }

    // A server that is not there: the screen does not open, the box says why, the cursor
    // comes back; once the server answers, the next IniProc opens the screen.
    void serverNotRunning()
    {
        installMessageBoxPresenter();
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const int closedPort = probe.serverPort();
        probe.close();
        QVERIFY(Context::instance().set(u"WebPort"_s, QString::number(closedPort)));
        {
            ModalWatch modal;
            QVERIFY(!open());
            QTRY_COMPARE(modal.boxes.size(), 1);
            QVERIFY2(modal.boxes[0].contains(u"127.0.0.1:%1"_s.arg(closedPort)), qPrintable(modal.boxes[0]));
            QVERIFY2(modal.boxes[0].contains(u"conectar"_s), qPrintable(modal.boxes[0]));
        }
        flushDeletes();
        QVERIFY(!FormCriado);
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(QApplication::topLevelWidgets().count() == 0
                || std::none_of(QApplication::topLevelWidgets().cbegin(), QApplication::topLevelWidgets().cend(),
                                [](QWidget *w) { return w->objectName() == u"frmCFR"_s; }));

        QVERIFY(Context::instance().set(u"WebPort"_s, QString::number(m_server->port())));
        QVERIFY(open());
        QVERIFY(FormCriado);
    }
};

int main(int argc, char *argv[])
{
    KprApplication app(argc, argv);
    TstCfrScreen t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}

#include "tst_cfr_screen.moc"
