// "Save as" of the base report screen: the title asked under the screen's texts, a copy of
// the selected layout under the next free number, listed and selected; cancel, an empty
// title and an unreadable layout write nothing; no after-print or after-preview event.
#include "../widgets/modalhelper.h"

#include "framework/core/abort.h"
#include "framework/report/layoutfile.h"
#include "framework/screens/frmdadosgerrel.h"
#include "framework/screens/layoutsaveas.h"
#include "framework/settings/context.h"
#include "framework/widgets/kprapplication.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
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

void touch(const QString &path, const QByteArray &text = "title: x\n")
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

QStringList layoutFiles(const QString &dir)
{
    return QDir(dir).entryList({u"*.QR2"_s}, QDir::Files, QDir::Name);
}

} // namespace

class TstLayoutSaveAs : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_errors;
    int m_afterEvents = 0;

    std::unique_ptr<Report> openReport()
    {
        std::unique_ptr<Report> r(CreateForm<Report>());
        r->rpddPadrao()->QRPAfterPrint = [this](QObject *) { ++m_afterEvents; };
        r->rpddPadrao()->QRPAfterPreview = [this](QObject *) { ++m_afterEvents; };
        return r;
    }

    // Clicks save as and answers the title box with text (a null text cancels it); the
    // caption and prompt the box showed.
    QStringList saveAs(Report &r, const QString &text)
    {
        QStringList shown;
        whenModal([&](QWidget *w) {
            auto *ask = qobject_cast<QInputDialog *>(w);
            if (!ask)
                return;
            shown << ask->windowTitle() << ask->labelText() << ask->textValue();
            if (text.isNull()) {
                ask->reject();
            } else {
                ask->setTextValue(text);
                ask->accept();
            }
        });
        m_errors.clear();
        r.sbtSalvarComo->click();
        return shown;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(
            QFile::copy(QString::fromUtf8(KPR_LAYOUTS_DIR) + u"/KPR04702.QR2"_s, m_dir.filePath(u"KPR04702.QR2"_s)));
        touch(m_dir.filePath(u"KPR04700.QR2"_s), "not a layout");
        Context::instance().reset();
        QVERIFY(Context::instance().set(u"ReportDir"_s, m_dir.path()).ok());
        setErrorPresenter([this](const QString &t) { m_errors << t; });
    }

    void nextNumber()
    {
        QTemporaryDir d;
        QCOMPARE(nextLayoutNumber(d.path(), u"KPR047"_s), u"00"_s);
        for (const QString &n : {u"00"_s, u"01"_s, u"03"_s, u"8"_s, u"008"_s})
            touch(d.filePath(u"KPR047"_s + n + u".QR2"_s));
        touch(d.filePath(u"KPR04850.QR2"_s)); // another report's
        QCOMPARE(nextLayoutNumber(d.path(), u"KPR047"_s), u"04"_s);
        touch(d.filePath(u"KPR04799.QR2"_s));
        QCOMPARE(nextLayoutNumber(d.path(), u"KPR047"_s), u"02"_s); // 99 taken: the first gap
        for (int n = 0; n < 99; ++n)
            touch(d.filePath(u"KPR047"_s + QString::number(n).rightJustified(2, u'0') + u".QR2"_s));
        QCOMPARE(nextLayoutNumber(d.path(), u"KPR047"_s), QString());
    }

    void savesACopyUnderTheNextNumber()
    {
        std::unique_ptr<Report> r = openReport();
        QCOMPARE(r->layoutNumbers(), (QStringList{u"00"_s, u"02"_s}));
        r->cbbReportNames->setCurrentIndex(1);
        const QStringList shown = saveAs(*r, u"  CFR por serviço - cozinha  "_s);
        QCOMPARE(shown,
                 (QStringList{u"Título do relatório"_s, u"Informe o título do relatório:"_s, u"CFR por serviço"_s}));
        QCOMPARE(m_errors, QStringList());
        QCOMPARE(layoutFiles(m_dir.path()), (QStringList{u"KPR04700.QR2"_s, u"KPR04702.QR2"_s, u"KPR04703.QR2"_s}));
        QCOMPARE(r->layoutNumbers().value(r->cbbReportNames->currentIndex()), u"03"_s);
        QCOMPARE(r->cbbReportNames->currentText(), u"CFR por serviço - cozinha"_s);

        ReportLayout original = loadLayoutFile(m_dir.filePath(u"KPR04702.QR2"_s));
        const ReportLayout copy = loadLayoutFile(m_dir.filePath(u"KPR04703.QR2"_s));
        QCOMPARE(copy.title, u"CFR por serviço - cozinha"_s);
        original.title = copy.title;
        QVERIFY(original == copy);
        QCOMPARE(m_afterEvents, 0);
        QFile::remove(m_dir.filePath(u"KPR04703.QR2"_s));
    }

    void cancelEmptyTitleAndBrokenLayoutWriteNothing()
    {
        std::unique_ptr<Report> r = openReport();
        r->cbbReportNames->setCurrentIndex(1);
        const QStringList before = layoutFiles(m_dir.path());

        QCOMPARE(saveAs(*r, QString()).size(), 3); // cancelled: silent
        QCOMPARE(m_errors, QStringList());
        QCOMPARE(layoutFiles(m_dir.path()), before);

        saveAs(*r, u"   "_s);
        QCOMPARE(m_errors, QStringList{u"O título do relatório deve ser informado."_s});
        QCOMPARE(layoutFiles(m_dir.path()), before);

        r->cbbReportNames->setCurrentIndex(0); // KPR04700.QR2 is no layout
        saveAs(*r, u"Cópia"_s);
        QCOMPARE(m_errors.size(), 1);
        QVERIFY2(m_errors[0].contains(u"KPR04700.QR2"_s), qPrintable(m_errors[0]));
        QCOMPARE(layoutFiles(m_dir.path()), before);
        QCOMPARE(m_afterEvents, 0);
    }
};

int main(int argc, char *argv[])
{
    KprApplication app(argc, argv);
    TstLayoutSaveAs t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}

#include "tst_layoutsaveas.moc"
