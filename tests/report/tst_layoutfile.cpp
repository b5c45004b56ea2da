// The layout file format: the documented example, writing and reading back, every kind of
// broken file with the exact text the user is shown, the titles the report list reads, the
// repetition of numbered columns and the pt-BR value formats.
#include "framework/report/layoutfile.h"
#include "framework/report/valueformat.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;

namespace {

QString sourceFile(const QString &relative)
{
    return QDir(qEnvironmentVariable("KPR_SOURCE_DIR")).filePath(relative);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A layout with one detail element, for the element rows of the broken-file table.
QByteArray withElement(const QByteArray &element)
{
    return QByteArray("{\"format\": \"kpr-layout\", \"version\": 1, "
                      "\"parameters\": [{\"name\": \"P_CDFILIAL\", \"type\": \"string\"}], "
                      "\"datasets\": [{\"name\": \"d\", \"table\": \"t\"}], "
                      "\"bands\": {\"detail\": {\"height\": 6, \"elements\": [")
           + element + "]}}}";
}

} // namespace

class TstLayoutFile : public QObject
{
    Q_OBJECT

private slots:
    void documentedExampleReads()
    {
        // The example of docs/layout-format.md is this fixture; both must stay readable.
        const QByteArray fixture = readAll(sourceFile(u"tests/report/layouts/servico.QR2"_s));
        const QByteArray doc = readAll(sourceFile(u"docs/layout-format.md"_s));
        QVERIFY(!fixture.isEmpty());
        QVERIFY2(doc.contains(fixture.trimmed()), "docs/layout-format.md must show tests/report/layouts/servico.QR2");

        Result<ReportLayout> r = parseLayout(fixture, u"servico.QR2"_s);
        QVERIFY2(r, qPrintable(r.error()));
        const ReportLayout &l = r.value();
        QCOMPARE(l.title, u"CFR por serviço"_s);
        QCOMPARE(l.page.orientation, PageOrientation::Landscape);
        QCOMPARE(l.params.size(), 5);
        QCOMPARE(l.findParam(u"p_dtinicial"_s)->kind, ParamKind::Date);
        QCOMPARE(l.masterDataSet()->table, u"qryCFRSintServ"_s);
        QCOMPARE(l.findDataSet(u"filial"_s)->sqlDialect.keys(), QStringList{u"postgresql"_s});
        QCOMPARE(l.groups.size(), 2);
        QVERIFY(l.groups[0].header->newPageBefore);
        QCOMPARE(l.detail->elements[1].repeat->count, 6);
    }

    void shippedLayoutsRead()
    {
        const QDir dir(sourceFile(u"layouts"_s));
        const QStringList files = dir.entryList({u"*.QR2"_s}, QDir::Files);
        QVERIFY(!files.isEmpty());
        for (const QString &f : files) {
            const Result<ReportLayout> r = readLayoutFile(dir.filePath(f));
            QVERIFY2(r, qPrintable(r.error()));
            QVERIFY2(!r.value().title.isEmpty(), qPrintable(f));
        }
    }

    void writtenLayoutReadsBackEqual()
    {
        Result<ReportLayout> r = parseLayout(readAll(sourceFile(u"tests/report/layouts/servico.QR2"_s)), u"s"_s);
        QVERIFY(r);
        ReportLayout l = r.value();
        // Values the fixture leaves at their defaults, so that the writer has them to write.
        l.page.size = PageSizeId::Letter;
        l.detail->elements[0].font = FontSpec{u"DejaVu Serif"_s, 7.5, true, true};
        l.detail->elements[0].align = HAlign::Justify;
        l.detail->elements[0].valign = VAlign::Bottom;
        l.detail->elements[0].wordWrap = true;
        l.detail->elements[0].color = QColor(10, 20, 30);
        l.datasets[0].sort << SortKey{u"CDCLIENTE"_s, true};
        l.datasets[2].sql = u"SELECT 1\nFROM FILIAL"_s;

        QTemporaryDir dir;
        const QString path = dir.filePath(u"copia.QR2"_s);
        QVERIFY(saveLayoutFile(path, l));
        Result<ReportLayout> back = readLayoutFile(path);
        QVERIFY2(back, qPrintable(back.error()));
        QVERIFY(back.value() == l);
        QCOMPARE(readLayoutTitle(path), u"CFR por serviço"_s);
    }

    void brokenFilesAreNamedWithTheirFault_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("error");
        const QString p = u"Layout 'KPR04700.QR2': "_s;
        QTest::newRow("not JSON") << QByteArray("{\n\"format\": \"kpr-layout\",\n  \"version\" 1}")
                                  << p + u"não é um documento JSON válido (linha 3: missing name separator)."_s;
        QTest::newRow("earlier plain file")
            << QByteArray("title: CFR por data\n") << p + u"não é um documento JSON válido (linha 1: illegal value)."_s;
        QTest::newRow("another format")
            << QByteArray(R"({"format": "qr2", "version": 1})")
            << p + u"não é um documento no formato kpr-layout (falta \"format\": \"kpr-layout\")."_s;
        QTest::newRow("newer version") << QByteArray(R"({"format": "kpr-layout", "version": 2})")
                                       << p + u"está na versão 2 do formato; este sistema lê até a versão 1."_s;
        QTest::newRow("version past the int range")
            << QByteArray(R"({"format": "kpr-layout", "version": 2147483648})")
            << p + u"está na versão 2147483648 do formato; este sistema lê até a versão 1."_s;
        QTest::newRow("misspelt key") << QByteArray(R"({"format": "kpr-layout", "version": 1, "titel": "x"})")
                                      << p + u"chave desconhecida 'titel'."_s;
        QTest::newRow("bad page size") << QByteArray(
            R"({"format": "kpr-layout", "version": 1, "page": {"size": "A3"}})")
                                       << p + u"página: 'size' inválido: 'A3' (aceitos: A4, Letter)."_s;
        QTest::newRow("margins eat the page")
            << QByteArray(R"({"format": "kpr-layout", "version": 1, "page": {"margins": {"left": 150, "right": 60}}})")
            << p + u"página: as margens não deixam área para imprimir."_s;
        QTest::newRow("parameter twice") << QByteArray(
            R"({"format": "kpr-layout", "version": 1, "parameters": [{"name": "P_A"}, {"name": "p_a", "type": "date"}]})")
                                         << p + u"parâmetro 2: o parâmetro 'p_a' está declarado duas vezes."_s;
        QTest::newRow("parameter type")
            << QByteArray(R"({"format": "kpr-layout", "version": 1, "parameters": [{"name": "P_A", "type": "money"}]})")
            << p + u"parâmetro 1: 'type' inválido: 'money' (aceitos: string, date, float, integer)."_s;
        QTest::newRow("sql and table") << QByteArray(
            R"({"format": "kpr-layout", "version": 1, "datasets": [{"name": "d", "table": "t", "sql": "SELECT 1"}]})")
                                       << p + u"conjunto de dados 'd': deve ter 'sql' ou 'table' (um dos dois)."_s;
        QTest::newRow("unknown dialect")
            << QByteArray(
                   R"({"format": "kpr-layout", "version": 1, "datasets": [{"name": "d", "sql": "SELECT 1", "dialects": {"oracle": "x"}}]})")
            << p + u"conjunto de dados 'd': dialeto 'oracle' desconhecido (aceitos: sqlite, postgresql)."_s;
        QTest::newRow("filter on undeclared parameter")
            << QByteArray(
                   R"({"format": "kpr-layout", "version": 1, "datasets": [{"name": "d", "table": "t", "filters": [{"field": "CDCLIENTE", "op": "inList", "param": "P_CDCLIENTE"}]}]})")
            << p + u"conjunto de dados 'd', filtro 1: o parâmetro 'P_CDCLIENTE' não está declarado em 'parameters'."_s;
        QTest::newRow("linked master") << QByteArray(
            R"({"format": "kpr-layout", "version": 1, "datasets": [{"name": "d", "table": "t", "link": {"field": "A", "masterField": "B"}}]})")
                                       << p + u"conjunto de dados 'd': o conjunto de dados principal não pode ter 'link'."_s;
        QTest::newRow("band too tall")
            << QByteArray(
                   R"({"format": "kpr-layout", "version": 1, "bands": {"title": {"height": 290, "elements": []}}})")
            << p + u"faixa 'title': altura de 290 mm maior que a área útil da página (277 mm)."_s;
        QTest::newRow("band without height")
            << QByteArray(R"({"format": "kpr-layout", "version": 1, "bands": {"title": {"elements": []}}})")
            << p + u"faixa 'title': falta 'height'."_s;
        QTest::newRow("forEach of nothing") << QByteArray(
            R"({"format": "kpr-layout", "version": 1, "bands": {"summary": {"height": 5, "forEach": "totais", "elements": []}}})")
                                            << p + u"faixa 'summary': 'forEach': o conjunto de dados 'totais' não existe."_s;
        QTest::newRow("group without key") << QByteArray(
            R"({"format": "kpr-layout", "version": 1, "datasets": [{"name": "d", "table": "t"}], "groups": [{"name": "g"}]})")
                                           << p + u"grupo 'g': falta 'key'."_s;
        QTest::newRow("element without type")
            << withElement(R"({"name": "qt", "x": 0})") << p + u"faixa 'detail', elemento 1 ('qt'): falta 'type'."_s;
        QTest::newRow("unknown element type")
            << withElement(R"({"type": "barcode"})")
            << p
                   + u"faixa 'detail', elemento 1: 'type' inválido: 'barcode' (aceitos: text, field, sum, count, "
                     u"pageNumber, line, box, image)."_s;
        QTest::newRow("field and param")
            << withElement(R"({"type": "field", "field": "A", "param": "P_CDFILIAL"})")
            << p + u"faixa 'detail', elemento 1: um elemento 'field' deve ter 'field' ou 'param' (um dos dois)."_s;
        QTest::newRow("undeclared parameter in a text")
            << withElement(
                   R"({"type": "text", "text": "x"}, {"type": "text", "name": "t", "text": "Filial ${P_FILIAL}"})")
            << p + u"faixa 'detail', elemento 2 ('t'): o parâmetro 'P_FILIAL' não está declarado em 'parameters'."_s;
        QTest::newRow("bad number pattern")
            << withElement("{\"type\": \"field\", \"field\": \"A\", \"format\": \"#.##0.00.0\"}")
            << p + u"faixa 'detail', elemento 1: formato numérico '#.##0.00.0' com duas vírgulas decimais."_s;
        QTest::newRow("unknown named format") << withElement(R"({"type": "field", "field": "A", "format": "money"})")
                                              << p + u"faixa 'detail', elemento 1: formato 'money' desconhecido."_s;
        QTest::newRow("group sum outside a group")
            << withElement(R"({"type": "sum", "field": "A", "over": "group"})")
            << p + u"faixa 'detail', elemento 1: 'over': 'group' fora de um grupo precisa de 'group' com o nome do grupo."_s;
        QTest::newRow("sum over an unknown group")
            << withElement(R"({"type": "sum", "field": "A", "over": "group", "group": "cliente"})")
            << p + u"faixa 'detail', elemento 1: o grupo 'cliente' não existe."_s;
        // A printf pattern from a file is never handed to printf: "%s" is refused.
        QTest::newRow("repeat number pattern")
            << withElement(
                   R"({"type": "field", "field": "QT{n}", "repeat": {"count": 11, "step": 10, "number": "%s"}})")
            << p + u"faixa 'detail', elemento 1, repetição: 'number' deve ser da forma %d, %2d ou %02d, não '%s'."_s;
        QTest::newRow("repeat count")
            << withElement(R"({"type": "field", "field": "QT{n}", "repeat": {"count": 0}})")
            << p + u"faixa 'detail', elemento 1, repetição: 'count' deve ser um número inteiro de 1 a 1000."_s;
        QTest::newRow("negative size") << withElement(R"({"type": "box", "width": -3})")
                                       << p + u"faixa 'detail', elemento 1: 'width' não pode ser negativo."_s;
        QTest::newRow("bad colour") << withElement(R"({"type": "box", "fill": "cinza"})")
                                    << p + u"faixa 'detail', elemento 1: cor inválida em 'fill': 'cinza'."_s;
        QTest::newRow("image without file")
            << withElement(R"({"type": "image"})")
            << p + u"faixa 'detail', elemento 1: um elemento 'image' precisa de 'file'."_s;
        QTest::newRow("detail without data")
            << QByteArray(
                   R"({"format": "kpr-layout", "version": 1, "bands": {"detail": {"height": 5, "elements": []}}})")
            << p + u"faixa 'detail': não há conjunto de dados para a faixa de detalhe."_s;
    }

    void brokenFilesAreNamedWithTheirFault()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, error);
        const Result<ReportLayout> r = parseLayout(json, u"KPR04700.QR2"_s);
        QVERIFY(!r);
        QCOMPARE(r.error(), error);
    }

    void missingFileIsAnError()
    {
        const Result<ReportLayout> r = readLayoutFile(u"/nao/existe/KPR04799.QR2"_s);
        QVERIFY(!r);
        QVERIFY2(r.error().startsWith(u"Layout 'KPR04799.QR2': não foi possível ler o arquivo "
                                      u"'/nao/existe/KPR04799.QR2' ("_s),
                 qPrintable(r.error()));
    }

    void titlesForTheReportList()
    {
        QTemporaryDir dir;
        const auto write = [&](const QString &name, const QByteArray &text) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(text);
        };
        write(u"a.QR2"_s, R"({"format": "kpr-layout", "version": 1, "title": " CFR por data "})");
        write(u"b.QR2"_s, "# plain file\n  Title:  CFR por serviço  \n");
        write(u"c.QR2"_s, "{ broken");
        QCOMPARE(readLayoutTitle(dir.filePath(u"a.QR2"_s)), u"CFR por data"_s);
        QCOMPARE(readLayoutTitle(dir.filePath(u"b.QR2"_s)), u"CFR por serviço"_s);
        QCOMPARE(readLayoutTitle(dir.filePath(u"c.QR2"_s)), QString());
        QCOMPARE(readLayoutTitle(dir.filePath(u"none.QR2"_s)), QString());
    }

    void repeatedColumnsAreNumberedAndPlaced()
    {
        ReportElement e;
        e.kind = ElementKind::Field;
        e.name = u"qt{n}"_s;
        e.field = u"QTSERV{n}"_s;
        e.x = 30;
        e.repeat = RepeatSpec{11, 12.5, false, 1, u"%02d"_s};
        const QList<ReportElement> copies = expandRepeat(e);
        QCOMPARE(copies.size(), 11);
        QCOMPARE(copies[0].field, u"QTSERV01"_s);
        QCOMPARE(copies[10].field, u"QTSERV11"_s);
        QCOMPARE(copies[10].name, u"qt11"_s);
        QCOMPARE(copies[10].x, 30 + 10 * 12.5);
        QVERIFY(!copies[10].repeat);
        QCOMPARE(formatRepeatNumber(u"%d"_s, 7), u"7"_s);
        QCOMPARE(formatRepeatNumber(u"%03d"_s, 7), u"007"_s);
        QCOMPARE(formatRepeatNumber(u"%3d"_s, 7), u"  7"_s);
        QCOMPARE(formatRepeatNumber(u"%x"_s, 7), QString());
    }

    void valueFormats_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("blankZero");
        QTest::addColumn<QString>("text");
        QTest::newRow("grouping and decimals") << u"#,##0.00"_s << QVariant(1234.56) << false << u"1.234,56"_s;
        QTest::newRow("millions") << u"#,##0"_s << QVariant(1234567.0) << false << u"1.234.567"_s;
        QTest::newRow("negative") << u"#,##0.00"_s << QVariant(-1234.5) << false << u"-1.234,50"_s;
        QTest::newRow("rounds to nothing: no minus") << u"0.00"_s << QVariant(-0.001) << false << u"0,00"_s;
        QTest::newRow("optional decimals") << u"0.##"_s << QVariant(2.5) << false << u"2,5"_s;
        QTest::newRow("no integer digit") << u"#.00"_s << QVariant(0.25) << false << u",25"_s;
        QTest::newRow("currency") << u"currency"_s << QVariant(1234.56) << false << u"R$ 1.234,56"_s;
        QTest::newRow("negative currency") << u"currency"_s << QVariant(-3.0) << false << u"-R$ 3,00"_s;
        QTest::newRow("integer rounds") << u"integer"_s << QVariant(1234.5) << false << u"1235"_s;
        QTest::newRow("suffix") << u"0.0%"_s << QVariant(12.34) << false << u"12,3%"_s;
        QTest::newRow("negative section") << u"#,##0.00;(#,##0.00)"_s << QVariant(-5.0) << false << u"(5,00)"_s;
        QTest::newRow("zero section") << u"#,##0;-#,##0;-"_s << QVariant(0.0) << false << u"-"_s;
        QTest::newRow("empty zero section: the first") << u"#,##0;;"_s << QVariant(0.0) << false << u"0"_s;
        QTest::newRow("blank zero") << u"#,##0"_s << QVariant(0.0) << true << QString();
        QTest::newRow("blank zero keeps others") << u"#,##0"_s << QVariant(4.0) << true << u"4"_s;
        QTest::newRow("number in text, C") << u"#,##0.00"_s << QVariant(u"1234.5"_s) << false << u"1.234,50"_s;
        QTest::newRow("number in text, pt-BR") << u"#,##0.00"_s << QVariant(u"1.234,5"_s) << false << u"1.234,50"_s;
        QTest::newRow("text that is no number") << u"#,##0.00"_s << QVariant(u"n/d"_s) << false << u"n/d"_s;
        QTest::newRow("null") << u"#,##0.00"_s << QVariant() << false << QString();
        QTest::newRow("date") << u"date"_s << QVariant(QDate(2026, 3, 31)) << false << u"31/03/2026"_s;
        QTest::newRow("date from ISO text") << u"date"_s << QVariant(u"2026-03-31"_s) << false << u"31/03/2026"_s;
        // 46112 days after 30/12/1899 is 31/03/2026; the fraction is the time of day.
        QTest::newRow("date from a day number")
            << u"datetime"_s << QVariant(46112.75) << false << u"31/03/2026 18:00"_s;
        QTest::newRow("date pattern") << u"date:MM/yyyy"_s << QVariant(QDate(2026, 3, 31)) << false << u"03/2026"_s;
        QTest::newRow("plain date") << QString() << QVariant(QDateTime(QDate(2026, 3, 1), QTime(0, 0))) << false
                                    << u"01/03/2026"_s;
        QTest::newRow("plain number") << QString() << QVariant(2.5) << false << u"2,5"_s;
    }

    void valueFormats()
    {
        QFETCH(QString, format);
        QFETCH(QVariant, value);
        QFETCH(bool, blankZero);
        QFETCH(QString, text);
        const Result<ValueFormat> f = ValueFormat::parse(format);
        QVERIFY2(f, qPrintable(f.error()));
        QCOMPARE(f.value().format(value, blankZero), text);
    }

    void sumsRoundAsDecimals()
    {
        // 0.1 + 0.2 + 0.005 as doubles is 0.30499999...; held in millionths it is 0.305 and
        // rounds half up to 0,31.
        FixedAmount a;
        for (double v : {0.1, 0.2, 0.005})
            a += FixedAmount::fromDouble(v);
        const ValueFormat f = ValueFormat::parse(u"#,##0.00"_s).value();
        QCOMPARE(f.formatAmount(a), u"0,31"_s);
        QCOMPARE(f.formatAmount(FixedAmount::fromDouble(-1234567.895)), u"-1.234.567,90"_s);
        QCOMPARE(f.formatAmount(FixedAmount{}, true), QString());
    }
};

QTEST_GUILESS_MAIN(TstLayoutFile)

#include "tst_layoutfile.moc"
