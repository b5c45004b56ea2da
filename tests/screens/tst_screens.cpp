// The base screens: component names, Ctrl+Enter, close handling, the layout list read from
// the report directory and the output handlers' checks.
#include "../widgets/modalhelper.h"

#include "framework/core/abort.h"
#include "framework/screens/frmdadosgerrel.h"
#include "framework/settings/context.h"
#include "framework/widgets/kprapplication.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;

namespace {

class Routine : public TfrmRotiGeral
{
public:
    Routine()
    {
        edit = new QLineEdit(grbDadosRel);
        edit->setObjectName(u"edtAssunto"_s);
    }
    void sbtConfirmaClick(QObject *) override { ++confirms; }
    void FormClose(QObject *Sender, TCloseAction &Action) override
    {
        if (refuseClose)
            Abort();
        TfrmRotiGeral::FormClose(Sender, Action);
    }
    QLineEdit *edit;
    int confirms = 0;
    bool refuseClose = false;
};

class Report : public TfrmDadosGerRel
{
public:
    Report()
    {
        lblCodTela->setText(u"KPR04700"_s);
        lblCodRel->setText(u"KPR047"_s);
    }
};

struct Recorder : IReportDialog
{
    QList<std::pair<ReportAction, QString>> *calls;
    explicit Recorder(QList<std::pair<ReportAction, QString>> *c) : calls(c) {}
    void Execute(ReportAction a, const QString &path) override { calls->append({a, path}); }
};

} // namespace

class TstScreens : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    void layout(const QString &name, const QByteArray &text)
    {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

private slots:
    void initTestCase()
    {
        layout(u"KPR04701.QR2"_s, "kpr-layout 1\ntitle: CFR por data\n");
        layout(u"KPR04700.QR2"_s, "kpr-layout 1\n  Title:  CFR por serviço  \n");
        layout(u"KPR04708.QR2"_s, "kpr-layout 1\n");      // no title: the file name
        layout(u"KPR047.QR2"_s, "title: no number\n");    // not a layout of the report
        layout(u"kpr04702.qr2"_s, "title: other case\n"); // another file on this system
        layout(u"KPR04800.QR2"_s, "title: another report\n");
        Context::instance().reset();
        QVERIFY(Context::instance().set(u"ReportDir"_s, dir.path()).ok());
    }

    void componentsCarryTheirNames()
    {
        std::unique_ptr<Report> r(CreateForm<Report>());
        for (const QString &n : {u"lblCodTela"_s, u"lblCodRel"_s})
            QVERIFY2(r->findChild<QLabel *>(n), qPrintable(n));
        QVERIFY(r->findChild<QGroupBox *>(u"grbDadosRel"_s));
        QVERIFY(r->findChild<QWidget *>(u"panMenu"_s) && r->findChild<QWidget *>(u"panBotoes"_s));
        QVERIFY(r->findChild<QComboBox *>(u"cbbReportNames"_s));
        QVERIFY(r->findChild<TMessages *>(u"msgPadrao"_s));
        for (const QString &n :
             {u"sbtConfirma"_s, u"sbtPrint"_s, u"sbtPreview"_s, u"sbtSalvarComo"_s, u"sbtReportEdit"_s})
            QVERIFY2(r->findChild<QAbstractButton *>(n), qPrintable(n));
    }

    void layoutListFromReportDir()
    {
        std::unique_ptr<Report> r(CreateForm<Report>());
        QStringList items;
        for (int i = 0; i < r->cbbReportNames->count(); ++i)
            items << r->cbbReportNames->itemText(i);
        // In the order of the file names, 00 before 01 before 08.
        QCOMPARE(items, (QStringList{u"CFR por serviço"_s, u"CFR por data"_s, u"KPR04708.QR2"_s}));
        QCOMPARE(r->layoutNumbers(), (QStringList{u"00"_s, u"01"_s, u"08"_s}));
        QCOMPARE(r->layoutDates().size(), 3);
        QCOMPARE(r->layoutDates().at(2),
                 QFileInfo(dir.filePath(u"KPR04708.QR2"_s)).lastModified().toString(u"dd/MM/yyyy HH:mm:ss"_s));
        QCOMPARE(r->cbbReportNames->currentIndex(), 0);
        r->cbbReportNames->setCurrentIndex(2);
        QCOMPARE(r->selectedLayoutFileName(), u"KPR04708.QR2"_s);
    }

    void outputHandlersOpenOrReport()
    {
        QList<std::pair<ReportAction, QString>> calls;
        std::unique_ptr<Report> r(CreateForm<Report>());
        r->setReportDialog(std::make_unique<Recorder>(&calls));
        r->cbbReportNames->setCurrentIndex(1);
        r->sbtPreview->click();
        // A trailing slash on the directory is not doubled.
        QVERIFY(Context::instance().set(u"ReportDir"_s, dir.path() + u'/').ok());
        r->sbtPrint->click();
        QVERIFY(Context::instance().set(u"ReportDir"_s, dir.path()).ok());
        QCOMPARE(calls.size(), 2);
        QCOMPARE(calls[0].first, ReportAction::Preview);
        QCOMPARE(calls[0].second, dir.path() + u"/KPR04701.QR2"_s);
        QCOMPARE(calls[1].second, dir.path() + u"/KPR04701.QR2"_s);

        // The file went away after the list was filled: the message box, nothing opened.
        layout(u"KPR04799.QR2"_s, "");
        r->loadReportNames();
        r->cbbReportNames->setCurrentIndex(r->layoutNumbers().indexOf(u"99"_s));
        QFile::remove(dir.filePath(u"KPR04799.QR2"_s));
        QString shown;
        whenModal([&](QWidget *m) {
            if (auto *box = qobject_cast<QMessageBox *>(m))
                shown = box->text();
            m->close();
        });
        r->sbtReportEdit->click();
        QCOMPARE(shown, u"O arquivo contendo a definição do relatório de código 'KPR04799' não foi "
                        u"encontrado no diretório '%1'."_s.arg(dir.path()));
        QCOMPARE(calls.size(), 2);
    }

    void ctrlEnterConfirms()
    {
        Routine r;
        r.show();
        QApplication::setActiveWindow(&r);
        QVERIFY(QTest::qWaitForWindowActive(&r));
        r.edit->setFocus();
        QTest::keyClick(r.edit, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(r.confirms, 1);
        QTest::keyClicks(r.edit, u"x"_s);
        QTest::keyClick(r.edit, Qt::Key_Return);
        QCOMPARE(r.confirms, 1);
        QCOMPARE(r.edit->text(), u"x"_s);
    }

    void closeFreesUnlessRefused()
    {
        QMdiArea area;
        auto *form = new Routine;
        QMdiSubWindow *sub = area.addSubWindow(form);
        area.show();
        sub->show();
        form->refuseClose = true;
        QVERIFY(!sub->close()); // an abort in FormClose keeps the screen open
        QVERIFY(sub->isVisible());
        form->refuseClose = false;
        QPointer<QMdiSubWindow> subGuard(sub);
        QPointer<Routine> formGuard(form);
        QVERIFY(sub->close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!subGuard && !formGuard); // caFree: the screen and its window are gone
    }
};

int main(int argc, char **argv)
{
    KprApplication app(argc, argv);
    TstScreens t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_screens.moc"
