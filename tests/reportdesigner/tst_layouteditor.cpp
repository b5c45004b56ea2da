// The layout editor: the parts of a layout in its tree, a property edited and saved, an
// invalid edit refused with the window kept open, cancel with and without edits, the live
// preview, and the edit action of the base report screen.
#include "../widgets/modalhelper.h"

#include "framework/core/abort.h"
#include "framework/data/clientdataset.h"
#include "framework/report/layoutfile.h"
#include "framework/reportdesigner/frmlayouteditor.h"
#include "framework/reportdesigner/layoutjson.h"
#include "framework/screens/frmdadosgerrel.h"
#include "framework/settings/context.h"
#include "framework/widgets/kprapplication.h"

#include <QComboBox>
#include <QFile>
#include <QJsonArray>
#include <QLabel>
#include <QMessageBox>
#include <QPrintPreviewWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>
#include <QToolButton>
#include <QTreeWidget>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A small layout over an in-memory table, for the checks that need data.
const char *const tableLayout = R"({
  "format": "kpr-layout", "version": 1, "title": "Clientes",
  "datasets": [{"name": "c", "table": "qryClientes"}],
  "bands": {"detail": {"height": 6, "elements": [
    {"type": "field", "name": "nome", "x": 0, "y": 0, "width": 80, "height": 6, "field": "NOME"}]}}
})";

class Report : public TfrmDadosGerRel
{
public:
    Report() { lblCodRel->setText(u"KPR047"_s); }
};

} // namespace

class TstLayoutEditor : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_errors;

    QString copyOf(const QString &number)
    {
        const QString target = m_dir.filePath(u"KPR047"_s + number + u".QR2"_s);
        QFile::remove(target);
        if (!QFile::copy(QString::fromUtf8(KPR_LAYOUTS_DIR) + u"/KPR047"_s + number + u".QR2"_s, target))
            return QString();
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
        return target;
    }

private slots:
    void initTestCase()
    {
        setErrorPresenter([this](const QString &t) { m_errors << t; });
    }

    void init() { m_errors.clear(); }

    void jsonPaths()
    {
        QJsonObject doc{
            {u"bands"_s,
             QJsonObject{{u"detail"_s, QJsonObject{{u"elements"_s, QJsonArray{QJsonObject{{u"x"_s, 1}}}}}}}}};
        const JsonPath x{u"bands"_s, u"detail"_s, u"elements"_s, u"0"_s, u"x"_s};
        QCOMPARE(jsonAt(doc, x).toDouble(), 1.0);
        setJsonAt(doc, x, 2.5);
        setJsonAt(doc, {u"bands"_s, u"detail"_s, u"elements"_s, u"0"_s, u"font"_s, u"size"_s}, 8);
        QCOMPARE(jsonAt(doc, x).toDouble(), 2.5);
        QCOMPARE(jsonAt(doc, {u"bands"_s, u"detail"_s, u"elements"_s, u"0"_s, u"font"_s, u"size"_s}).toInt(), 8);
        setJsonAt(doc, {u"bands"_s, u"detail"_s, u"elements"_s, u"0"_s}, QJsonValue(QJsonValue::Undefined));
        QVERIFY(jsonAt(doc, {u"bands"_s, u"detail"_s, u"elements"_s}).toArray().isEmpty());
        QCOMPARE(textToJson(u"12,5"_s, u"number"_s).toDouble(), 12.5);
        QCOMPARE(textToJson(u"sim"_s, u"bool"_s).toBool(), true);
        QVERIFY(textToJson(u"  "_s, u"text"_s).isUndefined());
        QCOMPARE(textToJson(u"abc"_s, u"number"_s).toString(), u"abc"_s); // left for the reader to name

        // Lists, filters and sort keys as one line of text, and back.
        const QJsonArray filters{
            QJsonObject{{u"field"_s, u"CDCLIENTE"_s}, {u"op"_s, u"inList"_s}, {u"param"_s, u"P_CDCLIENTE"_s}},
            QJsonObject{{u"field"_s, u"NRAPURACGD"_s}, {u"op"_s, u"equals"_s}, {u"param"_s, u"P_NRAPURACGD"_s}}};
        QCOMPARE(jsonToText(filters, u"filters"_s), u"CDCLIENTE inList P_CDCLIENTE; NRAPURACGD equals P_NRAPURACGD"_s);
        QCOMPARE(textToJson(jsonToText(filters, u"filters"_s), u"filters"_s).toArray(), filters);
        QCOMPARE(textToJson(u"CDCLIENTE inList"_s, u"filters"_s).toString(), u"CDCLIENTE inList"_s);
        const QJsonArray sort{u"CDCLIENTE"_s, QJsonObject{{u"field"_s, u"DTAPURACFAT"_s}, {u"descending"_s, true}}};
        QCOMPARE(jsonToText(sort, u"sort"_s), u"CDCLIENTE; DTAPURACFAT desc"_s);
        QCOMPARE(textToJson(u"CDCLIENTE;  DTAPURACFAT DESC "_s, u"sort"_s).toArray(), sort);
        QCOMPARE(textToJson(u"CDFILIAL; CDCLIENTE"_s, u"list"_s).toArray(),
                 (QJsonArray{u"CDFILIAL"_s, u"CDCLIENTE"_s}));
    }

    // Checks that need no data: a field of a dataset the layout lacks is refused naming the
    // element; a group key and a dataset's filters and sort are edited as text.
    void checksWithoutData()
    {
        const QString path = copyOf(u"08"_s);
        const QByteArray original = readAll(path);
        TfrmLayoutEditor ed(path, nullptr);
        QVERIFY(ed.selectElement(u"quantidade"_s));
        const QString field =
            jsonAt(ed.document(), {u"bands"_s, u"detail"_s, u"elements"_s, u"2"_s, u"field"_s}).toString();
        QVERIFY(ed.setProperty(u"field"_s, u"itens.QTSERVICO"_s));
        QVERIFY(!ed.save());
        QCOMPARE(m_errors.size(), 1);
        QCOMPARE(m_errors[0], u"Layout 'KPR04708.QR2': faixa 'detail', elemento 3 ('quantidade'): "
                              u"o conjunto de dados 'itens' não existe."_s);
        QCOMPARE(readAll(path), original);
        QVERIFY(ed.setProperty(u"field"_s, u"item."_s + field));

        QTreeWidgetItem *group = nullptr;
        for (QTreeWidgetItemIterator it(ed.trvLayout); *it; ++it)
            if ((*it)->text(0) == u"grupo"_s && (*it)->parent() && (*it)->parent()->text(0) == u"Grupos"_s)
                group = *it;
        QVERIFY(group);
        ed.trvLayout->setCurrentItem(group);
        QVERIFY(ed.setProperty(u"key"_s, u"CDGRUPSERV; CDSERVICO"_s));
        QVERIFY(ed.save());
        const ReportLayout saved = loadLayoutFile(path);
        QCOMPARE(saved.groups.value(1).keyFields, (QStringList{u"CDGRUPSERV"_s, u"CDSERVICO"_s}));
        QCOMPARE(saved.detail->elements[2].field, u"item."_s + field);

        QVERIFY(ed.setProperty(u"key"_s, u" ; "_s)); // no key field: the reader's fault
        QVERIFY(!ed.save());
        QVERIFY2(m_errors.last().contains(u"'key'"_s), qPrintable(m_errors.last()));
    }

    // Without the layout's data (no screen tables here) the preview still shows the layout,
    // as outlines, and says why.
    void previewWithoutData()
    {
        TfrmLayoutEditor ed(copyOf(u"00"_s), nullptr);
        ed.show();
        QTRY_VERIFY(ed.pvwLayout->pageCount() >= 1);
        QVERIFY2(ed.lastError().startsWith(u"Pré-visualização sem dados: "_s), qPrintable(ed.lastError()));
        QVERIFY(ed.save()); // missing data is no fault of the layout
    }

    // A screen whose parameter filling fails does not take the preview down with it (the
    // error used to go on into Qt's event handling): its text is shown beside the preview.
    void previewShowsWhatEndedIt()
    {
        TReportDesignerDialog rpdd;
        rpdd.BeforeGetQueryParams = [](QObject *, TParams &, bool &) { throw std::runtime_error("disco cheio"); };
        TfrmLayoutEditor ed(copyOf(u"00"_s), &rpdd);
        ed.show();
        QTRY_COMPARE(ed.lastError(), u"disco cheio"_s);
    }

    // Every part of a shipped layout is in the tree; one property edited and saved changes
    // that property and nothing else.
    void editAndSave()
    {
        const QString path = copyOf(u"08"_s);
        QVERIFY(!path.isEmpty());
        const ReportLayout before = loadLayoutFile(path);
        TfrmLayoutEditor ed(path, nullptr);
        QStringList captions;
        for (QTreeWidgetItemIterator it(ed.trvLayout); *it; ++it)
            captions << (*it)->text(0);
        for (const QString &c :
             {u"Página"_s, u"Parâmetros"_s, u"P_CDGRUPSERV"_s, u"Conjuntos de dados"_s, u"item"_s, u"cliente"_s,
              u"grupo"_s, u"Cabeçalho"_s, u"Rodapé"_s, u"Cabeçalho da página"_s, u"Detalhe"_s, u"Rodapé da página"_s})
            QVERIFY2(captions.contains(c), qPrintable(c));

        QVERIFY(ed.selectElement(u"quantidade"_s));
        QVERIFY(ed.setProperty(u"format"_s, u"#,##0.0"_s));
        QVERIFY(ed.setProperty(u"font.size"_s, u"9,5"_s));
        QVERIFY(ed.modified());
        ed.btnSalvar->click();
        QCOMPARE(ed.result(), int(QDialog::Accepted));
        QCOMPARE(m_errors, QStringList());

        ReportLayout after = loadLayoutFile(path);
        ReportElement &e = after.detail->elements[2];
        QCOMPARE(e.name, u"quantidade"_s);
        QCOMPARE(e.format, u"#,##0.0"_s);
        QCOMPARE(e.font.size, 9.5);
        e.format = before.detail->elements[2].format;
        e.font.size = before.detail->elements[2].font.size;
        QVERIFY(after == before);
    }

    // A value of the wrong kind and a field the dataset lacks are refused: the file stays,
    // the window stays open with the edit and the fault named.
    void invalidEditsAreNotSaved()
    {
        const QString path = copyOf(u"02"_s);
        const QByteArray original = readAll(path);
        {
            TfrmLayoutEditor ed(path, nullptr);
            QVERIFY(ed.selectElement(u"dia"_s));
            QVERIFY(ed.setProperty(u"height"_s, u"alto"_s));
            QVERIFY(!ed.save());
            QCOMPARE(m_errors.size(), 1);
            QVERIFY2(m_errors[0].contains(u"KPR04702.QR2"_s) && m_errors[0].contains(u"dia"_s),
                     qPrintable(m_errors[0]));
            QCOMPARE(ed.lastError(), m_errors[0]);
            QCOMPARE(readAll(path), original);
            QVERIFY(ed.modified());
        }

        // With the screen's data the fields are checked too.
        const QString custom = m_dir.filePath(u"KPR04750.QR2"_s);
        QFile f(custom);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(tableLayout);
        f.close();
        TClientDataSet clientes(u"qryClientes"_s);
        clientes.AddField(u"NOME"_s, ftString, 40);
        clientes.CreateDataSet();
        clientes.Append();
        clientes.FieldByName(u"NOME"_s)->setAsString(u"Padaria Central"_s);
        clientes.Post();
        TReportDesignerDialog rpdd;
        rpdd.registerTable(u"qryClientes"_s, &clientes);
        // The screen is asked for its parameters as for an editor's preview, and only then.
        int perguntas = 0;
        rpdd.BeforeGetQueryParams = [&](QObject *, TParams &, bool &) {
            QVERIFY(rpdd.ParaEdicao());
            ++perguntas;
        };
        TfrmLayoutEditor ed(custom, &rpdd);
        ed.show();
        QTRY_VERIFY(ed.pvwLayout->pageCount() >= 1);
        QCOMPARE(perguntas, 1);
        QVERIFY(!rpdd.ParaEdicao());
        QVERIFY(ed.lastError().isEmpty());
        QVERIFY(ed.selectElement(u"nome"_s));
        QVERIFY(ed.setProperty(u"field"_s, u"NOMEFANTASIA"_s));
        m_errors.clear();
        ed.btnSalvar->click();
        QCOMPARE(ed.result(), 0);
        QCOMPARE(m_errors.size(), 1);
        QVERIFY2(m_errors[0].contains(u"NOMEFANTASIA"_s), qPrintable(m_errors[0]));
        QVERIFY(readAll(custom).contains("\"NOME\""));
        QVERIFY(ed.setProperty(u"field"_s, u"NOME"_s));
        QVERIFY(ed.save());
        QCOMPARE(m_errors.size(), 1);
    }

    // Adding and removing parts; cancel asks before dropping edits, and a "Não" keeps the
    // window open.
    void addRemoveAndCancel()
    {
        const QString path = copyOf(u"01"_s);
        const QByteArray original = readAll(path);
        TfrmLayoutEditor ed(path, nullptr);
        QVERIFY(ed.selectElement(u"servico"_s));
        const int elements = int(jsonAt(ed.document(), {u"bands"_s, u"detail"_s, u"elements"_s}).toArray().size());
        ed.btnNovoElemento->click();
        QCOMPARE(jsonAt(ed.document(), {u"bands"_s, u"detail"_s, u"elements"_s}).toArray().size(), elements + 1);
        ed.btnRemover->click();
        QCOMPARE(jsonAt(ed.document(), {u"bands"_s, u"detail"_s, u"elements"_s}).toArray().size(), elements);
        ed.btnNovaFaixa->click(); // the first band the layout lacks: title
        QVERIFY(jsonAt(ed.document(), {u"bands"_s, u"title"_s}).isObject());

        ed.show();
        QStringList asked;
        whenModal([&](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            asked << (box ? box->text() : QString());
            for (QAbstractButton *b : box->buttons())
                if (b->text() == u"Não"_s)
                    b->click();
        });
        ed.btnCancelar->click();
        QCOMPARE(asked, QStringList{u"Descartar as alterações?"_s});
        QVERIFY(ed.isVisible());
        whenModal([&](QWidget *w) {
            for (QAbstractButton *b : qobject_cast<QMessageBox *>(w)->buttons())
                if (b->text() == u"Sim"_s)
                    b->click();
        });
        ed.btnCancelar->click();
        QTRY_VERIFY(!ed.isVisible());
        QCOMPARE(readAll(path), original);
    }

    // The edit button of a report screen opens the editor on the selected layout; a saved
    // title shows in the report list, and no after-print or after-preview event follows.
    void editFromTheReportScreen()
    {
        QTemporaryDir dir;
        QVERIFY(QFile::copy(QString::fromUtf8(KPR_LAYOUTS_DIR) + u"/KPR04702.QR2"_s, dir.filePath(u"KPR04702.QR2"_s)));
        QFile::setPermissions(dir.filePath(u"KPR04702.QR2"_s), QFile::ReadOwner | QFile::WriteOwner);
        Context::instance().reset();
        QVERIFY(Context::instance().set(u"ReportDir"_s, dir.path()).ok());
        std::unique_ptr<Report> r(CreateForm<Report>());
        int after = 0;
        r->rpddPadrao()->QRPAfterPrint = [&](QObject *) { ++after; };
        r->rpddPadrao()->QRPAfterPreview = [&](QObject *) { ++after; };
        QCOMPARE(r->cbbReportNames->currentText(), u"CFR por serviço"_s);
        QString opened;
        whenModal([&](QWidget *w) {
            auto *ed = qobject_cast<TfrmLayoutEditor *>(w);
            if (!ed)
                return;
            opened = ed->objectName();
            ed->setProperty(u"title"_s, u"CFR por serviço - revisado"_s);
            ed->btnSalvar->click();
        });
        r->sbtReportEdit->click();
        QCOMPARE(opened, u"frmLayoutEditor"_s);
        QCOMPARE(m_errors, QStringList());
        QCOMPARE(r->cbbReportNames->currentText(), u"CFR por serviço - revisado"_s);
        QCOMPARE(after, 0);
    }
};

int main(int argc, char *argv[])
{
    KprApplication app(argc, argv);
    TstLayoutEditor t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}

#include "tst_layouteditor.moc"
