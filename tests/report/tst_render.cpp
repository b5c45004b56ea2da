// The renderer through QPdfWriter, read back with pdftotext: texts and pt-BR formats,
// masks, repeated columns, groups that start new pages with their sums, pagination with the
// page header and group header repeated, look-ups and sub-details, and binding errors.
#include "tests/support/pdftext.h"

#include "framework/core/abort.h"
#include "framework/core/dates.h"
#include "framework/pdf/gtexpdfengine.h"
#include "framework/pdf/gtexpdflote.h"
#include "framework/report/layoutfile.h"
#include "framework/report/reportrenderer.h"
#include "framework/reportdesigner/reportdesignerdialog.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QPrinter>
#include <QTest>

#include <future>
#include <thread>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;

namespace {

using Row = std::vector<QVariant>;

ReportRows table(const QString &name, const QList<std::pair<QString, TFieldType>> &fields, std::vector<Row> rows)
{
    ReportRows t(name);
    for (const auto &[f, type] : fields)
        t.addField(f, type);
    for (Row &r : rows)
        t.appendRow(std::move(r));
    return t;
}

QDate d(int day, int month = 3)
{
    return QDate(2026, month, day);
}

bool hasLine(const QString &text, const QString &pattern)
{
    return QRegularExpression(pattern, QRegularExpression::MultilineOption).match(text).hasMatch();
}

} // namespace

class TstRender : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;

    // Parses, binds and prints to a new PDF; returns its path ("" after a failed check).
    QString render(const QByteArray &json, std::vector<ReportRows> data, TParams params = {})
    {
        Result<ReportLayout> layout = parseLayout(json, u"T.QR2"_s);
        if (!layout) {
            QTest::qFail(qPrintable(layout.error()), __FILE__, __LINE__);
            return QString();
        }
        const QString pdf = m_dir.filePath(u"r%1.pdf"_s.arg(++m_files));
        ReportRenderer report(layout.value(), m_dir.filePath(u"T.QR2"_s), std::move(data), std::move(params));
        TgtExPDFEngine engine;
        engine.setFileName(pdf);
        engine.Export(report.title(), [&](QPagedPaintDevice &dev, const PdfRenderOptions &o) { report.print(dev, o); });
        return pdf;
    }

    QString bindError(const QByteArray &json, std::vector<ReportRows> data)
    {
        Result<ReportLayout> layout = parseLayout(json, u"ERRO.QR2"_s);
        if (!layout)
            return u"parse: "_s + layout.error();
        try {
            ReportRenderer report(layout.value(), u"ERRO.QR2"_s, std::move(data), TParams());
        } catch (const EKprError &e) {
            return e.text();
        }
        return QString();
    }

private slots:
    void formatsMasksAndRepeatedColumns()
    {
        const QByteArray json = R"({"format": "kpr-layout", "version": 1, "title": "Formatos",
          "parameters": [{"name": "P_NOME", "type": "string"}],
          "datasets": [{"name": "dados", "table": "t"}],
          "bands": {
            "pageHeader": {"height": 10, "elements": [
              {"type": "text", "x": 0, "y": 0, "width": 190, "height": 8, "text": "Fornecedor: ${P_NOME}"}]},
            "detail": {"height": 6, "elements": [
              {"type": "field", "x": 0, "y": 0, "width": 28, "height": 6, "field": "VALOR", "format": "#,##0.00"},
              {"type": "field", "x": 28, "y": 0, "width": 32, "height": 6, "field": "VALOR", "format": "currency"},
              {"type": "field", "x": 60, "y": 0, "width": 15, "height": 6, "field": "QTD", "format": "integer"},
              {"type": "field", "x": 75, "y": 0, "width": 25, "height": 6, "field": "DIA", "format": "date"},
              {"type": "field", "x": 100, "y": 0, "width": 40, "height": 6, "field": "NRINS", "maskFrom": "IDTP"},
              {"type": "field", "name": "qt{n}", "x": 140, "y": 0, "width": 15, "height": 6, "field": "QT{n}",
               "format": "#,##0", "blankZero": true, "repeat": {"count": 3, "step": 15}}]}}})";
        TParams params;
        params.CreateParam(ftString, u"P_NOME"_s)->setAsString(u"Frigorífico Boa Mesa"_s);
        const QString pdf = render(json,
                                   {table(u"dados"_s,
                                          {{u"VALOR"_s, ftFloat},
                                           {u"QTD"_s, ftFloat},
                                           {u"DIA"_s, ftDateTime},
                                           {u"IDTP"_s, ftString},
                                           {u"NRINS"_s, ftString},
                                           {u"QT01"_s, ftFloat},
                                           {u"QT02"_s, ftFloat},
                                           {u"QT03"_s, ftFloat}},
                                          {{1234.56, 1234.6, d(31), u"J"_s, u"12345678000190"_s, 1.0, 0.0, 3.0},
                                           {-0.5, 7.0, QVariant(), u"F"_s, u"12345678909"_s, 10.0, 20.0, 1000.0}})},
                                   std::move(params));
        QVERIFY(!pdf.isEmpty());
        const QString text = pdfText(pdf);
        // No "fi" ligature: the extracted text is what was drawn.
        QVERIFY2(text.contains(u"Fornecedor: Frigorífico Boa Mesa"_s), qPrintable(text));
        const QStringList lines = text.split(u'\n');
        QStringList rows;
        for (const QString &l : lines)
            if (!l.trimmed().isEmpty() && !l.contains(u"Fornecedor"_s))
                rows << squeezed(l);
        // 1234.6 rounds to 1235; QT02 = 0 is left blank; J takes the company mask.
        QCOMPARE(rows.value(0), u"1.234,56 R$ 1.234,56 1235 31/03/2026 12.345.678/0001-90 1 3"_s);
        // A negative amount; an empty date prints nothing; F takes the person mask; grouping.
        QCOMPARE(rows.value(1), u"-0,50 -R$ 0,50 7 123.456.789-09 10 20 1.000"_s);

        const QString fonts = runTool(u"pdffonts"_s, {pdf});
        QVERIFY2(fonts.contains(u"DejaVuSans"_s) && hasLine(fonts, u"DejaVuSans.*\\byes\\b"_s), qPrintable(fonts));
    }

    void groupsStartNewPagesWithTheirSums()
    {
        const QByteArray json = R"({"format": "kpr-layout", "version": 1, "title": "Grupos",
          "datasets": [{"name": "dados", "table": "t"}],
          "groups": [{"name": "cliente", "key": "CDCLIENTE",
            "header": {"height": 8, "newPageBefore": true, "elements": [
              {"type": "text", "x": 0, "y": 0, "width": 100, "height": 8, "text": "Cliente [NMCLIENTE]"}]},
            "footer": {"height": 8, "elements": [
              {"type": "text", "x": 0, "y": 0, "width": 40, "height": 8, "text": "Total do cliente"},
              {"type": "sum", "x": 40, "y": 0, "width": 20, "height": 8, "field": "QT", "over": "group", "format": "#,##0", "align": "right"},
              {"type": "sum", "x": 70, "y": 0, "width": 40, "height": 8, "field": "QT", "times": "VR", "over": "group", "format": "currency", "align": "right"},
              {"type": "count", "x": 120, "y": 0, "width": 20, "height": 8, "over": "group", "align": "right"}]}}],
          "bands": {
            "detail": {"height": 6, "elements": [
              {"type": "field", "x": 0, "y": 0, "width": 30, "height": 6, "field": "DIA", "format": "date"},
              {"type": "field", "x": 40, "y": 0, "width": 20, "height": 6, "field": "QT", "format": "#,##0", "align": "right"}]},
            "summary": {"height": 8, "elements": [
              {"type": "text", "x": 0, "y": 0, "width": 40, "height": 8, "text": "Total geral"},
              {"type": "sum", "x": 40, "y": 0, "width": 20, "height": 8, "field": "QT", "format": "#,##0", "align": "right"},
              {"type": "count", "x": 120, "y": 0, "width": 20, "height": 8, "align": "right"}]},
            "pageFooter": {"height": 6, "elements": [
              {"type": "pageNumber", "x": 0, "y": 0, "width": 190, "height": 6, "align": "right"}]}}})";
        const QString pdf = render(json, {table(u"dados"_s,
                                                {{u"CDCLIENTE"_s, ftString},
                                                 {u"NMCLIENTE"_s, ftString},
                                                 {u"DIA"_s, ftDateTime},
                                                 {u"QT"_s, ftFloat},
                                                 {u"VR"_s, ftFloat}},
                                                {{u"1"_s, u"Alfa"_s, d(1), 10.0, 2.5},
                                                 {u"1"_s, u"Alfa"_s, d(2), 20.0, 2.5},
                                                 {u"2"_s, u"Beta"_s, d(1), 5.0, 3.0},
                                                 {u"3"_s, u"Gama"_s, d(1), 1.0, 1.0},
                                                 {u"3"_s, u"Gama"_s, d(3), 2.0, 1.0}})});
        QVERIFY(!pdf.isEmpty());
        QCOMPARE(pdfPages(pdf), 3);
        const QString p1 = squeezed(pdfText(pdf, 1));
        const QString p2 = squeezed(pdfText(pdf, 2));
        const QString p3 = squeezed(pdfText(pdf, 3));
        // Alfa: 10 + 20 meals, 30 × 2,50 = 75,00 over 2 rows.
        QVERIFY2(p1.contains(u"Cliente Alfa 01/03/2026 10 02/03/2026 20 Total do cliente 30 R$ 75,00 2"_s),
                 qPrintable(p1));
        QVERIFY(!p1.contains(u"Beta"_s));
        QVERIFY(p1.endsWith(u"Página 1 de 3"_s));
        QVERIFY2(p2.contains(u"Cliente Beta 01/03/2026 5 Total do cliente 5 R$ 15,00 1"_s), qPrintable(p2));
        QVERIFY(p2.endsWith(u"Página 2 de 3"_s));
        // The group sums start again for Gama; the summary adds every row: 38 meals, 5 rows.
        QVERIFY2(p3.contains(u"Cliente Gama 01/03/2026 1 03/03/2026 2 Total do cliente 3 R$ 3,00 2 Total geral 38 5"_s),
                 qPrintable(p3));
        QVERIFY(p3.endsWith(u"Página 3 de 3"_s));
    }

    void rowsThatDoNotFitGoToTheNextPage()
    {
        // A4 portrait, 10 mm margins: 277 mm, less the 6 mm page footer, 271 mm for bands. Page 1
        // holds the page header (10) and the group header (8): 253 mm, 42 rows of 6 mm. Page 2
        // repeats both headers above rows 43 to 60, then the group footer.
        const QByteArray json = R"({"format": "kpr-layout", "version": 1,
          "datasets": [{"name": "dados", "table": "t"}],
          "groups": [{"name": "g", "key": "K",
            "header": {"height": 8, "repeatOnNewPage": true, "elements": [
              {"type": "text", "x": 0, "y": 0, "width": 100, "height": 8, "text": "Grupo [K]"}]},
            "footer": {"height": 8, "elements": [
              {"type": "count", "x": 0, "y": 0, "width": 100, "height": 8, "over": "group"}]}}],
          "bands": {
            "pageHeader": {"height": 10, "elements": [
              {"type": "text", "x": 0, "y": 0, "width": 100, "height": 10, "text": "Cabeçalho da página"}]},
            "detail": {"height": 6, "elements": [
              {"type": "text", "x": 0, "y": 0, "width": 100, "height": 6, "text": "Linha [N]"}]},
            "pageFooter": {"height": 6, "elements": [
              {"type": "pageNumber", "x": 0, "y": 0, "width": 190, "height": 6}]}}})";
        std::vector<Row> rows;
        for (int i = 1; i <= 60; ++i)
            rows.push_back({u"G"_s, i});
        const QString pdf = render(json, {table(u"dados"_s, {{u"K"_s, ftString}, {u"N"_s, ftInteger}}, rows)});
        QVERIFY(!pdf.isEmpty());
        QCOMPARE(pdfPages(pdf), 2);
        const QString p1 = pdfText(pdf, 1);
        const QString p2 = pdfText(pdf, 2);
        QVERIFY(hasLine(p1, u"Linha 42\\s*$"_s));
        QVERIFY(!p1.contains(u"Linha 43"_s));
        QVERIFY(p1.contains(u"Página 1 de 2"_s));
        QVERIFY(p2.contains(u"Cabeçalho da página"_s) && p2.contains(u"Grupo G"_s));
        QVERIFY(hasLine(p2, u"Linha 43\\s*$"_s) && hasLine(p2, u"Linha 60\\s*$"_s));
        QVERIFY(hasLine(p2, u"^\\s*60\\s*$"_s)); // the group's count, after its last row
        QVERIFY(p2.contains(u"Página 2 de 2"_s));
        int printed = 0;
        for (const QString &page : {p1, p2})
            printed += int(page.count(QRegularExpression(u"Linha \\d+"_s)));
        QCOMPARE(printed, 60);

        // A printer asked for page 2 only prints that page, numbered as in the whole report,
        // with the group's count over all its rows.
        Result<ReportLayout> layout = parseLayout(json, u"T.QR2"_s);
        QVERIFY(layout);
        ReportRenderer report(layout.value(), m_dir.filePath(u"T.QR2"_s),
                              {table(u"dados"_s, {{u"K"_s, ftString}, {u"N"_s, ftInteger}}, rows)}, TParams());
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        const QString so2 = m_dir.filePath(u"pagina2.pdf"_s);
        printer.setOutputFileName(so2);
        printer.setPrintRange(QPrinter::PageRange);
        printer.setFromTo(2, 2);
        report.print(printer);
        QCOMPARE(pdfPages(so2), 1);
        const QString so = pdfText(so2);
        QVERIFY(so.contains(u"Página 2 de 2"_s) && !so.contains(u"Linha 42"_s));
        QVERIFY(hasLine(so, u"Linha 43\\s*$"_s) && hasLine(so, u"^\\s*60\\s*$"_s));

        // All pages chosen afterwards: the printer keeps the last range, the print does not.
        printer.setPrintRange(QPrinter::AllPages);
        const QString todas = m_dir.filePath(u"todas.pdf"_s);
        printer.setOutputFileName(todas);
        printOn(report, printer);
        QCOMPARE(pdfPages(todas), 2);
    }

    // Each page is drawn from the report's one layout of pages: in any order and on several
    // threads at once, a page comes out as it does in order (its rows, its totals, its number).
    void pagesPaintInAnyOrderAndOnThreads()
    {
        const QByteArray json = R"({"format": "kpr-layout", "version": 1,
          "datasets": [{"name": "dados", "table": "t"}],
          "bands": {
            "detail": {"height": 20, "elements": [
              {"type": "text", "x": 0, "y": 0, "width": 100, "height": 20, "text": "Linha [N]"}]},
            "pageFooter": {"height": 6, "elements": [
              {"type": "sum", "x": 0, "y": 0, "width": 60, "height": 6, "field": "N", "over": "page"},
              {"type": "pageNumber", "x": 100, "y": 0, "width": 90, "height": 6}]}}})";
        std::vector<Row> rows;
        for (int i = 1; i <= 60; ++i)
            rows.push_back({u"G"_s, i});
        Result<ReportLayout> layout = parseLayout(json, u"T.QR2"_s);
        QVERIFY(layout);
        const ReportRenderer report(layout.value(), m_dir.filePath(u"T.QR2"_s),
                                    {table(u"dados"_s, {{u"K"_s, ftString}, {u"N"_s, ftInteger}}, rows)}, TParams());
        const int pages = report.pageCount();
        QVERIFY(pages >= 4);
        const auto paint = [&](int page) {
            QImage img(300, 420, QImage::Format_RGB32);
            img.fill(Qt::white);
            QPainter painter(&img);
            report.paintPage(page, painter);
            return img;
        };
        std::vector<QImage> inOrder;
        for (int page = 1; page <= pages; ++page)
            inOrder.push_back(paint(page));
        QVERIFY(inOrder[0] != inOrder[1]);
        std::vector<QImage> threaded(static_cast<size_t>(pages));
        {
            std::vector<std::thread> threads;
            for (int t = 0; t < 2; ++t)
                threads.emplace_back([&, t] {
                    for (int page = pages - t; page >= 1; page -= 2)
                        threaded[size_t(page - 1)] = paint(page);
                });
            for (std::thread &t : threads)
                t.join();
        }
        for (int page = 1; page <= pages; ++page)
            QVERIFY2(threaded[size_t(page - 1)] == inOrder[size_t(page - 1)], qPrintable(QString::number(page)));
    }

    void lookupsAndSubDetails()
    {
        const QByteArray json = R"({"format": "kpr-layout", "version": 1,
          "datasets": [
            {"name": "m", "table": "t"},
            {"name": "cliente", "table": "c", "link": {"field": "CDCLIENTEAPGD", "masterField": "CDCLIENTE"}},
            {"name": "totais", "table": "x"},
            {"name": "fones", "table": "f", "link": {"field": "CD", "masterField": "CDCLIENTE"}}],
          "groups": [{"name": "cliente", "key": "CDCLIENTE",
            "header": {"height": 6, "elements": [
              {"type": "text", "x": 0, "y": 0, "width": 150, "height": 6, "text": "[NMCLIENTE] mora em [cliente.DSENDECLIE]"}]},
            "footer": {"height": 6, "forEach": "fones", "elements": [
              {"type": "text", "x": 0, "y": 0, "width": 150, "height": 6, "text": "Fone [FONE] de [m.NMCLIENTE]"}]}}],
          "bands": {
            "summary": {"height": 6, "forEach": "totais", "elements": [
              {"type": "field", "x": 0, "y": 0, "width": 60, "height": 6, "field": "NMSERVICO"},
              {"type": "field", "x": 60, "y": 0, "width": 30, "height": 6, "field": "TOTEFET", "format": "#,##0", "align": "right"}]}}})";
        const QString pdf =
            render(json, {table(u"m"_s, {{u"CDCLIENTE"_s, ftString}, {u"NMCLIENTE"_s, ftString}},
                                {{u"0001"_s, u"Alfa"_s}, {u"0002"_s, u"Beta"_s}}),
                          table(u"cliente"_s, {{u"CDCLIENTEAPGD"_s, ftString}, {u"DSENDECLIE"_s, ftString}},
                                {{u"0002"_s, u"Rua B"_s}, {u"0001 "_s, u"Rua A"_s}}),
                          table(u"totais"_s, {{u"NMSERVICO"_s, ftString}, {u"TOTEFET"_s, ftFloat}},
                                {{u"Almoço"_s, 1500.0}, {u"Jantar"_s, 20.0}}),
                          table(u"fones"_s, {{u"CD"_s, ftString}, {u"FONE"_s, ftString}},
                                {{u"0002"_s, u"555-2"_s}, {u"0002"_s, u"555-3"_s}})});
        QVERIFY(!pdf.isEmpty());
        const QString text = squeezed(pdfText(pdf));
        // The look-up matches on trimmed keys; Alfa has no phone, Beta two; the summary lists
        // every row of the unlinked totals.
        QCOMPARE(text, u"Alfa mora em Rua A Beta mora em Rua B Fone 555-2 de Beta Fone 555-3 de Beta "
                       u"Almoço 1.500 Jantar 20"_s);
    }

    void bindingFaultsNameFileBandAndElement()
    {
        const auto data = [] {
            std::vector<ReportRows> v;
            v.push_back(table(u"dados"_s, {{u"QTSERV01"_s, ftFloat}, {u"K"_s, ftString}}, {}));
            return v;
        };
        QCOMPARE(bindError(R"({"format": "kpr-layout", "version": 1, "datasets": [{"name": "dados", "table": "t"}],
              "bands": {"detail": {"height": 6, "elements": [
                {"type": "text", "x": 0, "y": 0, "width": 9, "height": 6, "text": "x"},
                {"type": "field", "name": "qt", "x": 0, "y": 0, "width": 9, "height": 6, "field": "QTSERV12"}]}}})",
                           data()),
                 u"Layout 'ERRO.QR2': faixa 'detail', elemento 2 ('qt'): o campo 'QTSERV12' não existe no "
                 u"conjunto de dados 'dados'."_s);
        // A repeated element is named by its copy: the second copy asks for QTSERV02.
        QCOMPARE(bindError(R"({"format": "kpr-layout", "version": 1, "datasets": [{"name": "dados", "table": "t"}],
              "bands": {"summary": {"height": 6, "elements": [
                {"type": "sum", "name": "s{n}", "x": 0, "y": 0, "width": 9, "height": 6, "field": "QTSERV{n}",
                 "repeat": {"count": 2, "step": 10}}]}}})",
                           data()),
                 u"Layout 'ERRO.QR2': faixa 'summary', elemento 1 ('s02'): o campo 'QTSERV02' não existe no "
                 u"conjunto de dados 'dados'."_s);
        QCOMPARE(bindError(R"({"format": "kpr-layout", "version": 1, "datasets": [{"name": "dados", "table": "t"}],
              "groups": [{"name": "cli", "key": "CDCLIENTE"}]})",
                           data()),
                 u"Layout 'ERRO.QR2': grupo 'cli': o campo de quebra 'CDCLIENTE' não existe no conjunto de dados "
                 u"'dados'."_s);
        QCOMPARE(bindError(R"({"format": "kpr-layout", "version": 1, "datasets": [{"name": "dados", "table": "t"}],
              "bands": {"title": {"height": 6, "elements": [
                {"type": "text", "x": 0, "y": 0, "width": 9, "height": 6, "text": "[outro.K]"}]}}})",
                           data()),
                 u"Layout 'ERRO.QR2': faixa 'title', elemento 1: o conjunto de dados 'outro' não existe."_s);
        QCOMPARE(bindError(R"({"format": "kpr-layout", "version": 1, "datasets": [{"name": "dados", "table": "t"}],
              "bands": {"title": {"height": 6, "elements": [
                {"type": "image", "name": "logo", "x": 0, "y": 0, "width": 9, "height": 6, "file": "nada.png"}]}}})",
                           data()),
                 u"Layout 'ERRO.QR2': faixa 'title', elemento 1 ('logo'): a imagem 'nada.png' não pôde ser lida."_s);
    }

    void pictureIsStoredOnceForEveryPage()
    {
        QImage logo(64, 32, QImage::Format_RGB32);
        logo.fill(Qt::darkBlue);
        QVERIFY(logo.save(m_dir.filePath(u"logo.png"_s)));
        // The logo is found beside the layout; 50 rows of 6 mm make two pages.
        const QByteArray json = R"({"format": "kpr-layout", "version": 1, "datasets": [{"name": "dados", "table": "t"}],
          "bands": {"pageHeader": {"height": 20, "elements": [
                      {"type": "image", "x": 0, "y": 0, "width": 40, "height": 20, "file": "logo.png"}]},
                    "detail": {"height": 6, "elements": [{"type": "text", "x": 0, "y": 0, "width": 90, "height": 6, "text": "[K]"}]}}})";
        std::vector<Row> rows(50, Row{u"x"_s});
        const QString pdf = render(json, {table(u"dados"_s, {{u"K"_s, ftString}}, rows)});
        QVERIFY(!pdf.isEmpty());
        QCOMPARE(pdfPages(pdf), 2);
        // pdfimages lists each use: page, number, ..., object number; one object for both.
        const QStringList uses = runTool(u"pdfimages"_s, {u"-list"_s, pdf}).split(u'\n', Qt::SkipEmptyParts).mid(2);
        QCOMPARE(uses.size(), 2);
        const auto object = [](const QString &line) { return line.simplified().split(u' ').value(11); };
        QCOMPARE(object(uses[0]), object(uses[1]));
    }

    void batchInPartsGivesEveryDocumentItsOwnPages_data()
    {
        QTest::addColumn<int>("pintores");
        QTest::addColumn<int>("falha"); // the document whose paint function throws, or -1
        QTest::newRow("one painter") << 1 << -1;
        QTest::newRow("three painters") << 3 << -1;
        QTest::newRow("a document fails after painting its pages") << 1 << 1;
        QTest::newRow("a document fails, two painters") << 2 << 2;
    }

    void batchInPartsGivesEveryDocumentItsOwnPages()
    {
        // Six documents of 1, 2, 3, 1, 2 and 1 pages in parts of two: the part boundaries
        // fall inside the run, and each file still holds exactly its own pages, also those
        // handed over after a document that failed with its pages already in the writer.
        QFETCH(int, pintores);
        QFETCH(int, falha);
        const QByteArray json = R"({"format": "kpr-layout", "version": 1, "datasets": [{"name": "dados", "table": "t"}],
          "bands": {"detail": {"height": 150, "elements": [{"type": "text", "x": 0, "y": 0, "width": 90, "height": 6, "text": "[K]"}]}}})";
        Result<ReportLayout> layout = parseLayout(json, u"T.QR2"_s);
        QVERIFY(layout);
        const std::vector<int> pages{1, 2, 3, 1, 2, 1};
        QTemporaryDir dir;
        QString erro;
        int entregues = 0;
        // The failing document fails only once the next one has been handed over; with one
        // painter, that next one is painted after the failure was noted, and the document
        // handed over then gets the error and must still be written.
        std::promise<void> proximoEntregue;
        const std::shared_future<void> liberado = proximoEntregue.get_future().share();
        bool liberou = false;
        auto depoisDaFalha = std::make_shared<std::promise<void>>();
        std::future<void> falhaNotada = depoisDaFalha->get_future();
        {
            TgtExPDFLote lote(dir.path(), 2, pintores);
            // Released before the batch joins its threads, however this block ends.
            const auto libera = qScopeGuard([&] {
                if (!liberou)
                    proximoEntregue.set_value();
            });
            try {
                for (int i = 0; i < int(pages.size()); ++i) {
                    std::vector<Row> rows;
                    for (int p = 0; p < pages[size_t(i)]; ++p)
                        rows.push_back(Row{u"doc%1 pág%2"_s.arg(i).arg(p + 1)});
                    // Owned by the paint function: the batch paints after this scope ends.
                    auto report = std::make_shared<const ReportRenderer>(
                        layout.value(), dir.filePath(u"T.QR2"_s),
                        std::vector<ReportRows>{table(u"dados"_s, {{u"K"_s, ftString}}, rows)}, TParams());
                    entregues = i + 1; // handed over also when this call throws an earlier error
                    lote.Acrescenta(dir.filePath(u"lote%1.pdf"_s.arg(i)), u"Doc %1"_s.arg(i), u"0001"_s,
                                    [report, liberado, falhou = i == falha,
                                     sinal = i == falha + 1 ? depoisDaFalha : nullptr](QPagedPaintDevice &dev,
                                                                                       const PdfRenderOptions &o) {
                                        if (sinal)
                                            sinal->set_value();
                                        report->print(dev, o);
                                        if (!falhou)
                                            return;
                                        liberado.wait();
                                        throw EKprError(u"falhou"_s);
                                    });
                    if (i == falha + 1) {
                        liberou = true;
                        proximoEntregue.set_value();
                        if (pintores == 1)
                            QVERIFY(falhaNotada.wait_for(std::chrono::seconds(30)) == std::future_status::ready);
                    }
                }
                lote.Conclui();
            } catch (const EKprError &e) {
                erro = e.text();
                if (!liberou) // not yet released: the error is not the document's
                    QFAIL(qPrintable(e.text()));
                lote.Conclui(); // as the export does: what was handed over is written
            }
        }
        QCOMPARE(erro, falha >= 0 ? u"falhou"_s : QString());
        QVERIFY(falha < 0 ? entregues == int(pages.size()) : entregues >= falha + 2);
        if (falha >= 0 && pintores == 1)
            QCOMPARE(entregues, falha + 3);
        for (int i = 0; i < int(pages.size()); ++i) {
            const QString pdf = dir.filePath(u"lote%1.pdf"_s.arg(i));
            if (i == falha || i >= entregues) {
                QVERIFY(!QFile::exists(pdf));
                continue;
            }
            QCOMPARE(pdfPages(pdf), pages[size_t(i)]);
            QCOMPARE(pdfInfo(pdf, u"Title"_s), u"Doc %1"_s.arg(i));
            const QString text = pdfText(pdf);
            QCOMPARE(text.count(u"doc"_s), pages[size_t(i)]);
            QCOMPARE(text.count(u"doc%1 "_s.arg(i)), pages[size_t(i)]);
        }
        // No part's temporary file is left behind.
        QCOMPARE(QDir(dir.path()).entryList({u".lote-*"_s}, QDir::Files | QDir::Hidden), QStringList());
    }

    void emptyReportStillHasOnePage()
    {
        const QByteArray json = R"({"format": "kpr-layout", "version": 1, "datasets": [{"name": "dados", "table": "t"}],
          "bands": {"title": {"height": 10, "elements": [{"type": "text", "x": 0, "y": 0, "width": 90, "height": 10, "text": "Sem dados"}]},
                    "detail": {"height": 6, "elements": []},
                    "pageFooter": {"height": 6, "elements": [{"type": "pageNumber", "x": 0, "y": 0, "width": 90, "height": 6}]}}})";
        const QString pdf = render(json, {table(u"dados"_s, {{u"K"_s, ftString}}, {})});
        QVERIFY(!pdf.isEmpty());
        QCOMPARE(pdfPages(pdf), 1);
        QCOMPARE(squeezed(pdfText(pdf)), u"Sem dados Página 1 de 1"_s);
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TstRender t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_render.moc"
