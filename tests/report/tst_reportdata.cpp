// The rows a run of reports keeps: a registered table is read through its row ids, each
// opening's list filter picking its rows through the index, with the same rows as an opening
// without the cache; a dataset linked to the master keeps only the rows the link can reach,
// and the report prints the same; a table reloaded during the run is reported instead of read,
// except by rows read again for each opening, which hold their own values.
#include "framework/core/abort.h"
#include "framework/data/clientdataset.h"
#include "framework/report/layoutfile.h"
#include "framework/report/reportdata.h"
#include "framework/report/reportrenderer.h"
#include "tests/support/pdftext.h"

#include <QApplication>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;

class TstReportData : public QObject
{
    Q_OBJECT

    static void enche(TClientDataSet &t, const QList<std::pair<QString, double>> &linhas)
    {
        if (t.Active())
            t.Close();
        if (t.Fields().isEmpty()) {
            t.AddField(u"K"_s, ftString, 10);
            t.AddField(u"V"_s, ftFloat);
        }
        t.CreateDataSet();
        for (const auto &[k, v] : linhas) {
            t.Append();
            t.FieldByName(u"K"_s)->setAsString(k);
            t.FieldByName(u"V"_s)->setAsFloat(v);
            t.Post();
        }
    }

    static QList<double> valores(const ReportRows &rows)
    {
        QList<double> out;
        for (int r = 0; r < rows.rowCount(); ++r)
            out << rows.value(r, rows.column(u"V"_s)).toDouble();
        return out;
    }

private slots:
    void linkedRowsPrintTheSame()
    {
        // Master: the clients of the list; linked: every client's totals (as the statements'
        // SQL gives them), printed per client by a band over the link.
        const Result<ReportLayout> layout = parseLayout(R"({"format": "kpr-layout", "version": 1,
          "parameters": [{"name": "P_LISTA", "type": "string"}],
          "datasets": [{"name": "clientes", "table": "c", "filters": [{"field": "K", "op": "inList", "param": "P_LISTA"}]},
                       {"name": "totais", "table": "t", "link": {"field": "K", "masterField": "K"}}],
          "master": "clientes",
          "groups": [{"name": "cliente", "key": "K", "footer": {"height": 6, "forEach": "totais",
             "elements": [{"type": "text", "x": 0, "y": 0, "width": 90, "height": 6, "text": "total [totais.K] [totais.V]"}]}}],
          "bands": {"detail": {"height": 6, "elements": [{"type": "text", "x": 0, "y": 0, "width": 90, "height": 6, "text": "cliente [K]"}]}}})",
                                                        u"T.QR2"_s);
        QVERIFY2(layout, qPrintable(layout.error()));
        TClientDataSet c, t;
        enche(c, {{u"A"_s, 0}, {u"B"_s, 0}, {u"C"_s, 0}});
        enche(t, {{u"A"_s, 1}, {u"B"_s, 2}, {u"A"_s, 3}, {u"C"_s, 4}, {u" B"_s, 5}});
        const TableLookup tabelas = [&](const QString &n) { return n == u"c"_s ? &c : n == u"t"_s ? &t : nullptr; };
        QTemporaryDir dir;
        const auto imprime = [&](const QString &lista, DataSetCache *cache) {
            TParams p;
            p.CreateParam(ftString, u"P_LISTA"_s)->setAsString(lista);
            std::vector<ReportRows> data = openDataSets(layout.value(), u"T.QR2"_s, p, tabelas, cache);
            const int linhasTotais = data.at(1).rowCount();
            const QString pdf = dir.filePath(lista + (cache ? u"-run.pdf"_s : u".pdf"_s));
            {
                QPdfWriter w(pdf);
                ReportRenderer(layout.value(), dir.filePath(u"T.QR2"_s), std::move(data), p).print(w);
            }
            return std::pair{squeezed(pdfText(pdf)), linhasTotais};
        };
        DataSetCache cache;
        for (const QString &lista : {u"_A_"_s, u"_B_"_s, u"_A__C_"_s}) {
            const auto [semCache, todas] = imprime(lista, nullptr);
            const auto [comCache, alcancaveis] = imprime(lista, &cache);
            QCOMPARE(comCache, semCache);
            QCOMPARE(todas, 5);
            QVERIFY(alcancaveis < todas);
        }
        QVERIFY(imprime(u"_B_"_s, &cache).first.contains(u"total B 2 total B 5"_s));
    }

    void tableRowsThroughTheCache()
    {
        const Result<ReportLayout> layout = parseLayout(R"({"format": "kpr-layout", "version": 1,
          "parameters": [{"name": "P_V", "type": "string"}, {"name": "P_LISTA", "type": "string"}],
          "datasets": [{"name": "dados", "table": "t", "filters": [{"field": "V", "op": "equals", "param": "P_V"},
                                                                  {"field": "K", "op": "inList", "param": "P_LISTA"}],
                        "sort": [{"field": "V", "descending": true}]}],
          "bands": {"detail": {"height": 6, "elements": []}}})",
                                                        u"T.QR2"_s);
        QVERIFY2(layout, qPrintable(layout.error()));
        TClientDataSet t;
        enche(t, {{u"A"_s, 1}, {u"B"_s, 2}, {u" A "_s, 3}, {u"C"_s, 4}});
        const TableLookup tabelas = [&](const QString &nome) { return nome == u"t"_s ? &t : nullptr; };
        // An equals filter before the list filter; without a value it keeps no row.
        const auto abre = [&](const QString &lista, DataSetCache *cache, double v = 0) {
            TParams p;
            if (v != 0)
                p.CreateParam(ftFloat, u"P_V"_s)->setAsFloat(v);
            else
                p.CreateParam(ftFloat, u"P_V"_s);
            p.CreateParam(ftString, u"P_LISTA"_s)->setAsString(lista);
            return valores(openDataSets(layout.value(), u"T.QR2"_s, p, tabelas, cache).at(0));
        };
        DataSetCache cache;
        for (const auto &[lista, v, esperado] : QList<std::tuple<QString, double, QList<double>>>{{u"_A_"_s, 3, {3}},
                                                                                                  {u"_B__C_"_s, 2, {2}},
                                                                                                  {u"T"_s, 4, {4}},
                                                                                                  {u"_X_"_s, 1, {}},
                                                                                                  {u"_A_"_s, 2, {}},
                                                                                                  {u"_A_"_s, 0, {}}}) {
            QCOMPARE(abre(lista, &cache, v), esperado);
            QCOMPARE(abre(lista, nullptr, v), esperado);
        }
        // Reloaded while the run holds its rows: an error, not the old rows or freed ones.
        enche(t, {{u"A"_s, 9}});
        try {
            abre(u"_A_"_s, &cache, 9);
            QFAIL("a reloaded table was read");
        } catch (const EKprError &e) {
            QCOMPARE(e.text(), u"A tabela 'dados' mudou durante o relatório."_s);
        }
        QCOMPARE(abre(u"_A_"_s, nullptr, 9), QList<double>{9});
        // Rows opened without a cache read the table itself: reloaded meanwhile, an error too.
        TParams p;
        p.CreateParam(ftFloat, u"P_V"_s)->setAsFloat(9);
        p.CreateParam(ftString, u"P_LISTA"_s)->setAsString(u"T"_s);
        std::vector<ReportRows> abertos = openDataSets(layout.value(), u"T.QR2"_s, p, tabelas);
        QCOMPARE(abertos.at(0).rowCount(), 1);
        enche(t, {{u"A"_s, 9}});
        QVERIFY_THROWS_EXCEPTION(EKprError, abertos.at(0).value(0, 0));
        // A row deleted and another appended in its place (its id reused): an error too.
        abertos = openDataSets(layout.value(), u"T.QR2"_s, p, tabelas);
        QCOMPARE(abertos.at(0).value(0, 1).toDouble(), 9.0);
        t.First();
        t.Delete();
        t.Append();
        t.FieldByName(u"K"_s)->setAsString(u"Z"_s);
        t.FieldByName(u"V"_s)->setAsFloat(9);
        t.Post();
        QVERIFY_THROWS_EXCEPTION(EKprError, abertos.at(0).value(0, 1));
    }

    void rereadTableInARunHoldsItsValues()
    {
        // Read again for each opening, a table's rows in a run are values of their own: a
        // report still being painted elsewhere reads them after the table changed.
        const Result<ReportLayout> layout = parseLayout(R"({"format": "kpr-layout", "version": 1,
          "datasets": [{"name": "dados", "table": "t", "reread": true, "sort": [{"field": "V", "descending": true}]}],
          "bands": {"detail": {"height": 6, "elements": []}}})",
                                                        u"T.QR2"_s);
        QVERIFY2(layout, qPrintable(layout.error()));
        TClientDataSet t;
        enche(t, {{u"A"_s, 1}, {u"B"_s, 2}});
        const TableLookup tabelas = [&](const QString &nome) { return nome == u"t"_s ? &t : nullptr; };
        DataSetCache cache;
        const std::vector<ReportRows> primeira = openDataSets(layout.value(), u"T.QR2"_s, TParams(), tabelas, &cache);
        enche(t, {{u"C"_s, 7}});
        QCOMPARE(valores(primeira.at(0)), (QList<double>{2, 1}));
        QCOMPARE(valores(openDataSets(layout.value(), u"T.QR2"_s, TParams(), tabelas, &cache).at(0)), QList<double>{7});
    }
};

QTEST_MAIN(TstReportData)
#include "tst_reportdata.moc"
