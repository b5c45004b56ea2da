// In-memory tables: cutting texts to width, the edit cycle and its state errors, index order
// under inserts and key edits, locate (ties, letter case, dates, with and without an index),
// the abort hooks and the working cursor.
#include "framework/core/dates.h"
#include "framework/data/clientdataset.h"
#include "framework/data/datasource.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <functional>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;

using DataSetAction = std::function<void(TClientDataSet &)>;
Q_DECLARE_METATYPE(DataSetAction)

namespace {

// The values of one field over all rows, in the table's current order, read through a
// working cursor so that the table's own cursor stays where it is.
QStringList column(const TClientDataSet &ds, const QString &field)
{
    QStringList values;
    TDataSetCursor c = ds.CloneCursor();
    for (c.First(); !c.Eof(); c.Next())
        values << c.AsString(field);
    return values;
}

void addRow(TClientDataSet &ds, const QStringList &fields, const QVariantList &values)
{
    ds.Append();
    for (qsizetype i = 0; i < fields.size(); ++i)
        ds.FieldByName(fields[i])->setValue(values[i]);
    ds.Post();
}

const QString keyFields = u"CDFILIAL;CDCLIENTE;NRAPURACGD;DTAPURACFAT;IDGRUPO"_s;

// A table shaped like the by-service statement's key, with a marker to tell rows apart.
std::unique_ptr<TClientDataSet> keyTable(const QString &indexMode)
{
    auto ds = std::make_unique<TClientDataSet>(u"qryCFRSintServ"_s);
    ds->AddField(u"CDFILIAL"_s, ftString, 4);
    ds->AddField(u"CDCLIENTE"_s, ftString, 21);
    ds->AddField(u"NRAPURACGD"_s, ftString, 10);
    ds->AddField(u"DTAPURACFAT"_s, ftDateTime);
    ds->AddField(u"IDGRUPO"_s, ftString, 3);
    ds->AddField(u"MARCA"_s, ftInteger);
    if (indexMode == u"ci"_s)
        ds->AddIndex(u"Chave"_s, keyFields, ixCaseInsensitive);
    else if (indexMode == u"cs"_s)
        ds->AddIndex(u"Chave"_s, keyFields);
    else if (indexMode == u"ci-other-order"_s)
        ds->AddIndex(u"Chave"_s, u"IDGRUPO;DTAPURACFAT;NRAPURACGD;CDCLIENTE;CDFILIAL"_s, ixCaseInsensitive);
    ds->CreateDataSet();
    const QStringList f{u"CDFILIAL"_s, u"CDCLIENTE"_s, u"NRAPURACGD"_s, u"DTAPURACFAT"_s, u"IDGRUPO"_s, u"MARCA"_s};
    const QDate d1(2026, 3, 1), d2(2026, 3, 2);
    addRow(*ds, f, {u"0001"_s, u"CLI-A"_s, u"0000000007"_s, d1, u"001"_s, 1});
    addRow(*ds, f, {u"0001"_s, u"cli-a"_s, u"0000000007"_s, d1, u"001"_s, 2}); // differs only in case
    addRow(*ds, f, {u"0001"_s, u"CLI-A"_s, u"0000000007"_s, d2, u"001"_s, 3});
    addRow(*ds, f, {u"0001"_s, u"CLI-A"_s, u"0000000007"_s, d1, u"001"_s, 4}); // the same key as 1
    addRow(*ds, f, {u"0001"_s, u"CLI-B"_s, u"0000000007"_s, QDateTime(d1, QTime(12, 0)), u"002"_s, 5});
    addRow(*ds, f, {u"0001"_s, u"CLI-B"_s, u"0000000007"_s, QVariant(), u"002"_s, 6});
    return ds;
}

} // namespace

class TstClientDataSet : public QObject
{
    Q_OBJECT
private slots:
    void storeCutsToWidth_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("stored");
        const QString name40 = u"Refeição executiva completa com sobremesa"_s.left(40);
        QTest::newRow("40-character service name in 30") << 30 << QVariant(name40) << name40.left(30);
        QTest::newRow("exactly the width stays") << 4 << QVariant(u"0001"_s) << u"0001"_s;
        QTest::newRow("shorter is not padded") << 5 << QVariant(u"01"_s) << u"01"_s;
        QTest::newRow("a number as text, then cut") << 3 << QVariant(123.456) << u"123"_s;
        QTest::newRow("a window number as text 1") << 1 << QVariant(u"12"_s) << u"1"_s;
    }
    void storeCutsToWidth()
    {
        QFETCH(int, size);
        QFETCH(QVariant, value);
        QFETCH(QString, stored);
        TClientDataSet ds(u"qryCFRSintData"_s);
        TField *f = ds.AddField(u"NMSERVICO"_s, ftString, size);
        ds.CreateDataSet();
        ds.Append();
        f->setValue(value);
        QCOMPARE(f->AsString(), stored); // already cut in the edit buffer
        ds.Post();
        QCOMPARE(f->AsString(), stored);
    }

    void assignCopiesValuesBetweenTables()
    {
        // Source and target in different tables, as the apuration moves a record's values
        // into the statement: dates keep their time of day, null stays null, text is cut to
        // the target's width, and a date reaches a text field as the user reads it.
        TClientDataSet origem(u"qryQtdeEfetData"_s);
        TField *dia = origem.AddField(u"DTAPURACFATGD"_s, ftDateTime);
        TField *preco = origem.AddField(u"VRPRECUNITAPGD"_s, ftFloat);
        TField *nome = origem.AddField(u"NMSERVICO"_s, ftString, 40);
        origem.CreateDataSet();
        origem.Append();
        dia->setAsDateTime(QDateTime(QDate(2024, 2, 29), QTime(11, 30)));
        nome->setAsString(u"Almoço executivo com sobremesa e suco natural"_s);
        origem.Post();

        TClientDataSet destino(u"qryCFRSintData"_s);
        TField *dtServ = destino.AddField(u"DTSERV01"_s, ftDateTime);
        TField *vrPreco = destino.AddField(u"VRPRECO"_s, ftFloat);
        TField *nmServico = destino.AddField(u"NMSERVICO"_s, ftString, 30);
        TField *texto = destino.AddField(u"TEXTO"_s, ftString, 20);
        destino.CreateDataSet();
        destino.Append();
        vrPreco->setAsFloat(9);
        dtServ->Assign(*dia);
        vrPreco->Assign(*preco);
        nmServico->Assign(*nome);
        texto->Assign(*dia);
        destino.Post();
        QCOMPARE(dtServ->AsDateTime(), QDateTime(QDate(2024, 2, 29), QTime(11, 30)));
        QCOMPARE(dtServ->AsFloat(), dia->AsFloat());
        QVERIFY(vrPreco->IsNull());
        QCOMPARE(nmServico->AsString(), u"Almoço executivo com sobremesa"_s);
        QCOMPARE(texto->AsString(), u"29/02/2024 11:30:00"_s);

        // A read-only target refuses, as every other write does.
        destino.Edit();
        dtServ->setReadOnly(true);
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, dtServ->Assign(*dia));
        destino.Cancel();
    }

    void stateErrors_data()
    {
        QTest::addColumn<DataSetAction>("action");
        QTest::addColumn<QString>("error");
        QTest::newRow("post in browse state") << DataSetAction([](TClientDataSet &ds) { ds.Post(); })
                                              << u"qryTotal: Dataset not in edit or insert mode"_s;
        QTest::newRow("set a value in browse state")
            << DataSetAction([](TClientDataSet &ds) { ds.FieldByName(u"NMSERVICO"_s)->setAsString(u"x"_s); })
            << u"qryTotal: Dataset not in edit or insert mode"_s;
        QTest::newRow("unknown field") << DataSetAction([](TClientDataSet &ds) { ds.FieldByName(u"QTSERV12"_s); })
                                       << u"qryTotal: Field 'QTSERV12' not found"_s;
        QTest::newRow("required field left empty") << DataSetAction([](TClientDataSet &ds) {
            ds.Append();
            ds.FieldByName(u"NMSERVICO"_s)->setAsString(u"Almoço"_s);
            ds.Post();
        }) << u"qryTotal: Field 'CDSERVFILIAPGD' must have a value"_s;
        QTest::newRow("read-only field") << DataSetAction([](TClientDataSet &ds) {
            ds.Edit();
            ds.FieldByName(u"VRTOTA"_s)->setAsString(u"1"_s);
        }) << u"qryTotal: Field 'VRTOTA' cannot be modified"_s;
        QTest::newRow("locate with too few values") << DataSetAction([](TClientDataSet &ds) {
            ds.Locate(u"CDSERVFILIAPGD;NMSERVICO"_s, QVariantList{u"001"_s});
        }) << u"qryTotal: Locate on 'CDSERVFILIAPGD;NMSERVICO' needs 2 values, 1 given"_s;
        QTest::newRow("unknown index") << DataSetAction([](TClientDataSet &ds) { ds.setIndexName(u"Index2"_s); })
                                       << u"qryTotal: Index 'Index2' not found"_s;
        QTest::newRow("a float field given a word") << DataSetAction([](TClientDataSet &ds) {
            ds.Edit();
            ds.FieldByName(u"TOTEFET"_s)->setAsString(u"muitos"_s);
        }) << u"qryTotal: 'muitos' is not a valid floating point value for field 'TOTEFET'"_s;
        QTest::newRow("locate a date field with a word")
            << DataSetAction([](TClientDataSet &ds) { ds.Locate(u"DTAPURACFAT"_s, u"ontem"_s); })
            << u"qryTotal: 'ontem' is not a valid date and time for field 'DTAPURACFAT'"_s;
        QTest::newRow("next on a closed table") << DataSetAction([](TClientDataSet &ds) {
            ds.Close();
            ds.Next();
        }) << u"qryTotal: Cannot perform this operation on a closed dataset"_s;
        QTest::newRow("delete on an empty table") << DataSetAction([](TClientDataSet &ds) {
            ds.EmptyDataSet();
            ds.Delete();
        }) << u"qryTotal: Cannot perform this operation on an empty dataset"_s;
    }
    void stateErrors()
    {
        QFETCH(DataSetAction, action);
        QFETCH(QString, error);
        TClientDataSet ds(u"qryTotal"_s);
        ds.AddField(u"CDSERVFILIAPGD"_s, ftString, 5)->setRequired(true);
        ds.AddField(u"NMSERVICO"_s, ftString, 40);
        ds.AddField(u"TOTEFET"_s, ftFloat);
        ds.AddField(u"VRTOTA"_s, ftString, 14)->setReadOnly(true);
        ds.AddField(u"DTAPURACFAT"_s, ftDateTime);
        ds.AddIndex(u"Index1"_s, u"NMSERVICO"_s);
        ds.CreateDataSet();
        addRow(ds, {u"CDSERVFILIAPGD"_s, u"NMSERVICO"_s}, {u"001"_s, u"Almoço"_s});
        try {
            action(ds);
            QFAIL("no error");
        } catch (const EDatabaseError &e) {
            QCOMPARE(e.text(), error);
        }
    }

    void indexOrderAfterInsertsAndKeyEdits()
    {
        TClientDataSet ds(u"qryCFRSintData"_s);
        TField *nome = ds.AddField(u"NMSERVICO"_s, ftString, 30);
        TField *grupo = ds.AddField(u"IDGRUPO"_s, ftString, 1);
        ds.AddIndex(u"Agrupamento"_s, u"IDGRUPO;NMSERVICO"_s, ixCaseInsensitive);
        ds.AddIndex(u"Inverso"_s, u"NMSERVICO"_s, ixCaseInsensitive | ixDescending);
        ds.CreateDataSet();
        ds.setIndexName(u"Agrupamento"_s);
        const QStringList f{u"IDGRUPO"_s, u"NMSERVICO"_s};
        addRow(ds, f, {u"2"_s, u"jantar"_s});
        addRow(ds, f, {u"1"_s, u"Lanche"_s});
        addRow(ds, f, {u"1"_s, u"almoço"_s});
        addRow(ds, f, {u"2"_s, u"Ceia"_s});
        // Window first, then the name without regard to case: a < C < j < L within a window.
        QCOMPARE(column(ds, u"NMSERVICO"_s), (QStringList{u"almoço"_s, u"Lanche"_s, u"Ceia"_s, u"jantar"_s}));
        QCOMPARE(nome->AsString(), u"Ceia"_s); // the posted row is current
        QCOMPARE(ds.RecNo(), 3);

        // Moving "almoço" to window 2 changes its key: it goes to its new place and stays current.
        ds.First();
        ds.Edit();
        grupo->setAsString(u"2"_s);
        ds.Post();
        QCOMPARE(column(ds, u"NMSERVICO"_s), (QStringList{u"Lanche"_s, u"almoço"_s, u"Ceia"_s, u"jantar"_s}));
        QCOMPARE(nome->AsString(), u"almoço"_s);
        QCOMPARE(ds.RecNo(), 2);
        ds.Next();
        QCOMPARE(nome->AsString(), u"Ceia"_s);

        // The other index followed the edits too; no index is the order of insertion.
        ds.setIndexName(u"Inverso"_s);
        QCOMPARE(column(ds, u"NMSERVICO"_s), (QStringList{u"Lanche"_s, u"jantar"_s, u"Ceia"_s, u"almoço"_s}));
        QCOMPARE(nome->AsString(), u"Ceia"_s); // changing the index keeps the current row
        QCOMPARE(ds.RecNo(), 3);
        ds.setIndexName(QString());
        QCOMPARE(column(ds, u"NMSERVICO"_s), (QStringList{u"jantar"_s, u"Lanche"_s, u"almoço"_s, u"Ceia"_s}));
    }

    void insertGoesBeforeTheCurrentRow()
    {
        TClientDataSet ds(u"cdsClientes"_s);
        TField *cd = ds.AddField(u"CDCLIENTE"_s, ftString, 21);
        ds.CreateDataSet();
        for (const QString &c : {u"A"_s, u"B"_s, u"C"_s})
            addRow(ds, {u"CDCLIENTE"_s}, {c});
        ds.First();
        ds.Next(); // on B
        // Forty inserts at one spot use up the room between two rows many times over.
        for (int i = 1; i <= 40; ++i) {
            ds.Insert();
            cd->setAsString(u"X%1"_s.arg(i));
            ds.Post(); // current is the new row; the next one goes before it
        }
        QStringList expected{u"A"_s};
        for (int i = 40; i >= 1; --i)
            expected << u"X%1"_s.arg(i);
        expected << u"B"_s << u"C"_s;
        QCOMPARE(column(ds, u"CDCLIENTE"_s), expected);
    }

    // Random inserts, key edits and deletes against a sorted copy, over enough rows to split
    // the order's blocks many times.
    void indexAgreesWithSortUnderRandomChanges()
    {
        TClientDataSet ds(u"qryX"_s);
        TField *k = ds.AddField(u"K"_s, ftInteger);
        TField *id = ds.AddField(u"ID"_s, ftInteger);
        ds.AddIndex(u"PorK"_s, u"K"_s);
        ds.CreateDataSet();
        ds.setIndexName(u"PorK"_s);
        QRandomGenerator rng(7);
        std::vector<std::pair<int, int>> model; // (key, id); ties kept in insertion order
        int nextId = 0;
        for (int step = 0; step < 6000; ++step) {
            const int op = rng.bounded(10);
            if (op < 7 || model.empty()) {
                const int key = rng.bounded(500);
                ds.Append();
                k->setAsInteger(key);
                id->setAsInteger(nextId);
                ds.Post();
                model.emplace_back(key, nextId++);
            } else {
                ds.setRecNo(rng.bounded(ds.RecordCount()) + 1);
                const int rowId = int(id->AsInteger());
                const auto it = std::find_if(model.begin(), model.end(), [&](auto &p) { return p.second == rowId; });
                QVERIFY(it != model.end());
                if (op < 9) {
                    ds.Edit();
                    it->first = rng.bounded(500);
                    k->setAsInteger(it->first);
                    ds.Post();
                    QCOMPARE(int(id->AsInteger()), rowId);
                } else {
                    ds.Delete();
                    model.erase(it);
                }
            }
        }
        std::stable_sort(model.begin(), model.end(), [](auto &a, auto &b) { return a.first < b.first; });
        QStringList expected;
        for (const auto &p : model)
            expected << QString::number(p.second);
        QCOMPARE(ds.RecordCount(), int(model.size()));
        QCOMPARE(column(ds, u"ID"_s), expected);
    }

    void locate_data()
    {
        QTest::addColumn<QVariantList>("values");
        QTest::addColumn<bool>("caseInsensitive");
        QTest::addColumn<int>("marker"); // 0: not found
        const QDate d1(2026, 3, 1);
        const QString b = u"0001"_s, a = u"0000000007"_s;
        QTest::newRow("exact") << QVariantList{b, u"CLI-A"_s, a, d1, u"001"_s} << false << 1;
        QTest::newRow("tie: the first of two equal rows") << QVariantList{b, u"CLI-A"_s, a, d1, u"001"_s} << false << 1;
        QTest::newRow("other case, case-sensitive: only the lower-case row")
            << QVariantList{b, u"cli-a"_s, a, d1, u"001"_s} << false << 2;
        QTest::newRow("case-insensitive: the first in order of the three")
            << QVariantList{b, u"Cli-A"_s, a, d1, u"001"_s} << true << 1;
        QTest::newRow("mixed case, case-sensitive: none") << QVariantList{b, u"Cli-A"_s, a, d1, u"001"_s} << false << 0;
        QTest::newRow("date as a day number")
            << QVariantList{b, u"CLI-A"_s, a, toDayNumber(QDate(2026, 3, 2)), u"001"_s} << false << 3;
        QTest::newRow("date as midnight date-time")
            << QVariantList{b, u"CLI-A"_s, a, QDateTime(QDate(2026, 3, 2), QTime(0, 0)), u"001"_s} << false << 3;
        QTest::newRow("noon is not the day itself") << QVariantList{b, u"CLI-B"_s, a, d1, u"002"_s} << false << 0;
        QTest::newRow("noon as a day number + 0.5")
            << QVariantList{b, u"CLI-B"_s, a, toDayNumber(d1) + 0.5, u"002"_s} << false << 5;
        QTest::newRow("null date matches the empty one")
            << QVariantList{b, u"cli-b"_s, a, QVariant(), u"002"_s} << true << 6;
        QTest::newRow("text key longer than the field is not cut")
            << QVariantList{b, u"CLI-A"_s, a, d1, u"0010"_s} << false << 0;
    }
    void locate()
    {
        QFETCH(QVariantList, values);
        QFETCH(bool, caseInsensitive);
        QFETCH(int, marker);
        // Each mode answers the same: a scan, a case-insensitive index, a case-sensitive one,
        // an index on the same fields in another order.
        for (const QString &mode : {u"none"_s, u"ci"_s, u"cs"_s, u"ci-other-order"_s}) {
            auto ds = keyTable(mode);
            ds->First();
            const bool found =
                ds->Locate(keyFields, values, caseInsensitive ? TLocateOptions(loCaseInsensitive) : TLocateOptions());
            QVERIFY2(found == (marker != 0), qPrintable(mode));
            QCOMPARE(ds->FieldByName(u"MARCA"_s)->AsInteger(), found ? marker : 1); // a miss stays on row 1
        }
    }

    void locateTieFollowsTheCurrentOrder()
    {
        // With another index ordering the table, the first equal row in that order wins.
        auto ds = keyTable(u"ci"_s);
        ds->AddIndex(u"MarcaDesc"_s, u"MARCA"_s, ixDescending);
        ds->setIndexName(u"MarcaDesc"_s);
        QVERIFY(ds->Locate(keyFields, {u"0001"_s, u"CLI-A"_s, u"0000000007"_s, QDate(2026, 3, 1), u"001"_s},
                           loCaseInsensitive));
        QCOMPARE(ds->FieldByName(u"MARCA"_s)->AsInteger(), 4); // rows 4, 2, 1 match; 4 comes first
        QCOMPARE(ds->RecNo(), 3);                              // order 6, 5, 4, ...
        ds->Next();
        QCOMPARE(ds->FieldByName(u"MARCA"_s)->AsInteger(), 3);
    }

    void locatePartialKeyAndOneField()
    {
        auto ds = keyTable(u"ci"_s);
        QVERIFY(ds->Locate(u"CDCLIENTE"_s, u"cli-b"_s, TLocateOptions(loCaseInsensitive) | loPartialKey));
        QCOMPARE(ds->FieldByName(u"MARCA"_s)->AsInteger(), 5);
        QVERIFY(ds->Locate(u"cdcliente"_s, u"cli"_s, loPartialKey)); // field names ignore case
        QCOMPARE(ds->FieldByName(u"MARCA"_s)->AsInteger(), 2);
    }

    void abortingHooksLeaveTheTableUnchanged()
    {
        TClientDataSet ds(u"cdsClientes"_s);
        TField *email = ds.AddField(u"DSEMAIL"_s, ftString, 4000);
        ds.CreateDataSet();
        addRow(ds, {u"DSEMAIL"_s}, {u"a@b.com.br"_s});
        int calls = 0;
        ds.BeforeEdit = [&](TClientDataSet &) {
            ++calls;
            Abort();
        };
        ds.BeforeInsert = [&](TClientDataSet &) {
            ++calls;
            Abort();
        };
        QVERIFY_THROWS_EXCEPTION(EAbort, ds.Edit());
        QCOMPARE(ds.State(), dsBrowse);
        QVERIFY_THROWS_EXCEPTION(EAbort, ds.Append());
        QVERIFY_THROWS_EXCEPTION(EAbort, ds.Insert());
        // The handler boundary swallows the abort without a word, as a grid's keystroke would.
        QVERIFY(!runGuarded([&] {
            ds.Edit();
            email->setAsString(u"x"_s);
        }));
        QCOMPARE(calls, 4);
        QCOMPARE(ds.State(), dsBrowse);
        QCOMPARE(ds.RecordCount(), 1);
        QCOMPARE(email->AsString(), u"a@b.com.br"_s);
    }

    void cancelAndNavigationPost()
    {
        TClientDataSet ds(u"qryServSelect"_s);
        TField *cd = ds.AddField(u"CDSERVFILIAPGD"_s, ftString, 3);
        ds.CreateDataSet();
        addRow(ds, {u"CDSERVFILIAPGD"_s}, {u"001"_s});
        ds.Edit();
        cd->setAsString(u"999"_s);
        ds.Cancel();
        QCOMPARE(cd->AsString(), u"001"_s);
        ds.Append();
        ds.Cancel(); // an unposted row leaves nothing behind
        QCOMPARE(ds.RecordCount(), 1);
        ds.Edit();
        cd->setAsString(u"002"_s);
        ds.First(); // moving posts the pending change
        QCOMPARE(ds.State(), dsBrowse);
        QCOMPARE(cd->AsString(), u"002"_s);
    }

    void eofLoopWithDeletes()
    {
        TClientDataSet ds(u"qryX"_s);
        TField *n = ds.AddField(u"N"_s, ftInteger);
        ds.CreateDataSet();
        for (int i = 1; i <= 6; ++i)
            addRow(ds, {u"N"_s}, {i});
        QVERIFY(!ds.Bof() && !ds.Eof());
        ds.First();
        QVERIFY(ds.Bof());
        int visited = 0;
        while (!ds.Eof()) { // delete the even ones, including the last row
            ++visited;
            if (n->AsInteger() % 2 == 0)
                ds.Delete();
            else
                ds.Next();
        }
        QCOMPARE(visited, 6);
        QCOMPARE(column(ds, u"N"_s), (QStringList{u"1"_s, u"3"_s, u"5"_s}));
        ds.Last();
        QVERIFY(ds.Eof());
        QCOMPARE(n->AsInteger(), 5);
        ds.Prior();
        ds.Prior();
        ds.Prior();
        QVERIFY(ds.Bof());
        QCOMPARE(n->AsInteger(), 1);
    }

    void workingCursorDoesNotMoveTheTable()
    {
        TClientDataSet ds(u"qryClieSelect"_s);
        TField *cd = ds.AddField(u"CDCLIENTEAPGD"_s, ftString, 21);
        ds.AddIndex(u"Codigo"_s, u"CDCLIENTEAPGD"_s);
        ds.CreateDataSet();
        ds.setIndexName(u"Codigo"_s);
        for (const QString &c : {u"30"_s, u"10"_s, u"20"_s})
            addRow(ds, {u"CDCLIENTEAPGD"_s}, {c});
        ds.First();
        ds.Next(); // on 20
        TDataSetCursor c = ds.CloneCursor();
        QCOMPARE(c.AsString(u"CDCLIENTEAPGD"_s), u"20"_s); // starts where the table is
        QVERIFY(c.Locate(u"CDCLIENTEAPGD"_s, {u"30"_s}));
        c.Prior();
        c.Prior();
        QCOMPARE(c.AsString(u"CDCLIENTEAPGD"_s), u"10"_s);
        QCOMPARE(cd->AsString(), u"20"_s);
        QCOMPARE(ds.RecNo(), 2);
        // A row posted through the table is seen by the cursor in its place.
        addRow(ds, {u"CDCLIENTEAPGD"_s}, {u"15"_s});
        c.Next();
        QCOMPARE(c.AsString(u"CDCLIENTEAPGD"_s), u"15"_s);
        QCOMPARE(c.RecNo(), 2);
        // Its row deleted, the cursor goes back to the first row.
        ds.Delete(); // the table is on 15
        QCOMPARE(c.AsString(u"CDCLIENTEAPGD"_s), u"10"_s);
        QCOMPARE(cd->AsString(), u"20"_s);
    }

    void signalsReachAttachedSources()
    {
        TClientDataSet ds(u"cdsClientes"_s);
        ds.AddField(u"CDCLIENTE"_s, ftString, 21);
        ds.CreateDataSet();
        TDataSource dts(u"dtsClientes"_s, &ds);
        QSignalSpy data(&dts, &TDataSource::dataChanged);
        QSignalSpy moved(&dts, &TDataSource::cursorMoved);
        addRow(ds, {u"CDCLIENTE"_s}, {u"1"_s});
        QCOMPARE(data.count(), 1);
        ds.DisableControls();
        for (int i = 2; i <= 5; ++i)
            addRow(ds, {u"CDCLIENTE"_s}, {QString::number(i)});
        ds.First();
        QCOMPARE(data.count(), 1);
        ds.EnableControls(); // one report for the whole batch
        QCOMPARE(data.count(), 2);
        QCOMPARE(moved.count(), 1);
        dts.setDataSet(nullptr);
        ds.Next();
        QCOMPARE(moved.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TstClientDataSet)
#include "tst_clientdataset.moc"
