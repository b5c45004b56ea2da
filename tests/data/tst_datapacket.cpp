// Data packets: the exact text a table produces, round trips of every type with nulls kept,
// binding by name (missing, extra and differently cased fields, texts cut to width) and
// malformed packets with the error each one gives, through both readers.
#include "framework/core/dates.h"
#include "framework/data/clientdataset.h"

#include <QJsonDocument>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;

namespace {

void defineAllTypes(TClientDataSet &ds)
{
    ds.AddField(u"IDMARCADO"_s, ftFixedChar, 1)->setProviderFlags({});
    ds.AddField(u"NMSERVICO"_s, ftString, 30);
    ds.AddField(u"QTSERV01"_s, ftFloat);
    ds.AddField(u"NRSEQ"_s, ftInteger)->setProviderFlags(TProviderFlags(pfInUpdate) | pfInWhere | pfInKey);
    ds.AddField(u"DTSERV01"_s, ftDateTime);
    ds.AddField(u"IDATIVO"_s, ftBoolean)->setProviderFlags(pfHidden);
}

void fill(TClientDataSet &ds, const QVariantList &values)
{
    ds.Append();
    for (qsizetype i = 0; i < values.size(); ++i)
        ds.Fields()[i]->setValue(values[i]);
    ds.Post();
}

QByteArray compact(const char *json)
{
    return QJsonDocument::fromJson(json).toJson(QJsonDocument::Compact);
}

} // namespace

class TstDataPacket : public QObject
{
    Q_OBJECT
private slots:
    void producesThePacketText()
    {
        TClientDataSet ds(u"qryCFRSintData"_s);
        defineAllTypes(ds);
        ds.CreateDataSet();
        // 2 March 2026 is day 46083; 06:00 is a quarter of a day.
        fill(ds, {u"X"_s, u"Almoço"_s, 2.5, 7, QDateTime(QDate(2026, 3, 2), QTime(6, 0)), true});
        fill(ds, {QVariant(), u""_s, 0.0, QVariant(), QVariant(), false});
        const QByteArray expected = compact(R"({"fields":[
            {"name":"IDMARCADO","type":"fixedchar","size":1,"flags":[]},
            {"name":"NMSERVICO","type":"string","size":30,"flags":["pfInUpdate","pfInWhere"]},
            {"name":"QTSERV01","type":"float","flags":["pfInUpdate","pfInWhere"]},
            {"name":"NRSEQ","type":"integer","flags":["pfInUpdate","pfInWhere","pfInKey"]},
            {"name":"DTSERV01","type":"datetime","flags":["pfInUpdate","pfInWhere"]},
            {"name":"IDATIVO","type":"boolean","flags":["pfHidden"]}],
            "rows":[["X","Almoço",2.5,7,46083.25,true],[null,"",0,null,null,false]]})");
        QCOMPARE(ds.dataPacketJson(), expected);
        QCOMPARE(ds.recordCount(), 2);
    }

    void roundTripKeepsTypesAndNulls_data()
    {
        QTest::addColumn<bool>("fromBytes");
        QTest::newRow("through the packet text") << true;
        QTest::newRow("through a JSON object") << false;
    }
    void roundTripKeepsTypesAndNulls()
    {
        QFETCH(bool, fromBytes);
        TClientDataSet src(u"qryCFRSintData"_s);
        defineAllTypes(src);
        src.CreateDataSet();
        const QDateTime noon(QDate(1899, 12, 29), QTime(12, 0)); // before day zero, with a time
        fill(src, {u"S"_s, u"Refeição \"especial\"\n\t\\ 😀"_s, -1.5e-7, 2147483648LL, noon, false});
        fill(src, {QVariant(), u""_s, 0.0, 0, QVariant(), QVariant()});

        TClientDataSet dst(u"cdsCopia"_s); // no persistent fields: it takes the packet's
        const Status st = fromBytes ? dst.LoadFromPacket(src.dataPacketJson()) : dst.LoadFromPacket(src.dataPacket());
        QVERIFY2(st.ok(), qPrintable(st.error()));
        QCOMPARE(dst.FieldCount(), 6);
        QCOMPARE(dst.FieldByName(u"IDMARCADO"_s)->DataType(), ftFixedChar);
        QCOMPARE(dst.FieldByName(u"NMSERVICO"_s)->Size(), 30);
        QCOMPARE(dst.FieldByName(u"NRSEQ"_s)->ProviderFlags(), TProviderFlags(pfInUpdate) | pfInWhere | pfInKey);
        QCOMPARE(dst.FieldByName(u"IDMARCADO"_s)->ProviderFlags(), TProviderFlags());
        QCOMPARE(dst.FieldByName(u"IDATIVO"_s)->DataType(), ftBoolean);
        QCOMPARE(dst.RecNo(), 1);
        QCOMPARE(dst.FieldByName(u"NMSERVICO"_s)->AsString(), u"Refeição \"especial\"\n\t\\ 😀"_s);
        QCOMPARE(dst.FieldByName(u"QTSERV01"_s)->AsFloat(), -1.5e-7);
        QCOMPARE(dst.FieldByName(u"NRSEQ"_s)->AsInteger(), 2147483648LL);
        QCOMPARE(dst.FieldByName(u"DTSERV01"_s)->AsDateTime(), noon);
        QCOMPARE(dst.FieldByName(u"IDATIVO"_s)->Value(), QVariant(false)); // false, not null
        dst.Next();
        // Null stays null; an empty text and a zero stay values.
        QVERIFY(dst.FieldByName(u"IDMARCADO"_s)->IsNull());
        QVERIFY(!dst.FieldByName(u"NMSERVICO"_s)->IsNull());
        QCOMPARE(dst.FieldByName(u"NMSERVICO"_s)->Value(), QVariant(u""_s));
        QVERIFY(!dst.FieldByName(u"QTSERV01"_s)->IsNull());
        QVERIFY(!dst.FieldByName(u"NRSEQ"_s)->IsNull());
        QVERIFY(dst.FieldByName(u"DTSERV01"_s)->IsNull());
        QVERIFY(!dst.FieldByName(u"DTSERV01"_s)->AsDateTime().isValid());
        QVERIFY(dst.FieldByName(u"IDATIVO"_s)->IsNull());
        QCOMPARE(dst.dataPacketJson(), src.dataPacketJson());
    }

    void bindsPersistentFieldsByName()
    {
        TClientDataSet ds(u"qryServSelect"_s);
        ds.AddField(u"CDSERVFILIAPGD"_s, ftString, 3);
        ds.AddField(u"NMSERVICO"_s, ftString, 30);
        ds.AddIndex(u"Index1"_s, u"NMSERVICO"_s);
        ds.setIndexName(u"Index1"_s);
        // Another order, another case, an extra field, a name of 40 characters, wider sizes.
        const QByteArray packet = R"({"rows":[[1,"Lanche da tarde","002"],
            [2,"Almoço executivo com sobremesa e suco natural","001"]],
            "fields":[{"name":"EXTRA","type":"integer"},{"name":"nmservico","type":"string","size":60},
                      {"name":"CDSERVFILIAPGD","type":"fixedchar","size":5}]})";
        const Status st = ds.LoadFromPacket(packet);
        QVERIFY2(st.ok(), qPrintable(st.error()));
        QCOMPARE(ds.FieldCount(), 2);
        QVERIFY(!ds.FindField(u"EXTRA"_s));
        QCOMPARE(ds.FieldByName(u"NMSERVICO"_s)->AsString(),
                 u"Almoço executivo com sobremesa"_s); // first by index, cut to 30
        QCOMPARE(ds.FieldByName(u"CDSERVFILIAPGD"_s)->AsString(), u"001"_s);
        QCOMPARE(ds.FieldByName(u"NMSERVICO"_s)->DataType(), ftString); // the table's definition holds
    }

    void refusesAPacketLackingAField_data()
    {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<QString>("error");
        QTest::newRow("a listed field missing")
            << QByteArray(R"({"fields":[{"name":"CDCLIENTEAPGD","type":"string","size":21}],"rows":[["7"]]})")
            << u"qryQtdeEfetData: Field 'NREFETIVOSAPGD' not found in the data packet"_s;
        QTest::newRow("a text where a number belongs")
            << QByteArray(
                   R"({"fields":[{"name":"CDCLIENTEAPGD","type":"string"},{"name":"NREFETIVOSAPGD","type":"string"}],"rows":[]})")
            << u"qryQtdeEfetData: Type mismatch for field 'NREFETIVOSAPGD', expecting: Float actual: String"_s;
    }
    void refusesAPacketLackingAField()
    {
        QFETCH(QByteArray, packet);
        QFETCH(QString, error);
        TClientDataSet ds(u"qryQtdeEfetData"_s);
        ds.AddField(u"CDCLIENTEAPGD"_s, ftString, 21);
        ds.AddField(u"NREFETIVOSAPGD"_s, ftFloat);
        ds.CreateDataSet();
        ds.Append();
        ds.FieldByName(u"CDCLIENTEAPGD"_s)->setAsString(u"kept"_s);
        ds.Post();
        const Status st = ds.LoadFromPacket(packet);
        QVERIFY(!st.ok());
        QCOMPARE(st.error(), error);
        QCOMPARE(ds.RecordCount(), 1); // the table is as it was
        QCOMPARE(ds.FieldByName(u"CDCLIENTEAPGD"_s)->AsString(), u"kept"_s);
        try {
            ds.setData(QJsonDocument::fromJson(packet).object());
            QFAIL("setData did not throw");
        } catch (const EDatabaseError &e) {
            QCOMPARE(e.text(), error);
        }
    }

    void malformedPackets_data()
    {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<QString>("error"); // after "qryTotal: Malformed data packet: "
        QTest::addColumn<bool>("alsoAsObject");
        const QByteArray f =
            R"("fields":[{"name":"NMSERVICO","type":"string","size":40},{"name":"TOTEFET","type":"float"}])";
        QTest::newRow("not JSON") << QByteArray("{\"fields\": [") << u"a value was expected at offset 12"_s << false;
        QTest::newRow("not an object") << QByteArray("[1]") << u"not a JSON object"_s << false;
        QTest::newRow("a row that is no list") << "{" + f + R"(,"rows":[3]})" << u"row 1 is not a list"_s << true;
        QTest::newRow("no fields") << QByteArray(R"({"rows":[]})") << u"\"fields\" is missing"_s << true;
        QTest::newRow("no rows") << "{" + f + "}" << u"\"rows\" is missing"_s << true;
        QTest::newRow("unknown type") << QByteArray(R"({"fields":[{"name":"X","type":"money"}],"rows":[]})")
                                      << u"field 'X' has the unknown type 'money'"_s << true;
        QTest::newRow("unknown flag") << QByteArray(
            R"({"fields":[{"name":"X","type":"string","flags":["pfKey"]}],"rows":[]})")
                                      << u"field 'X' has the unknown flag 'pfKey'"_s << true;
        QTest::newRow("nameless field") << QByteArray(R"({"fields":[{"type":"string"}],"rows":[]})")
                                        << u"field 1 has no name"_s << true;
        QTest::newRow("a field twice") << QByteArray(
            R"({"fields":[{"name":"X","type":"string"},{"name":"x","type":"float"}],"rows":[]})")
                                       << u"field 'x' appears twice"_s << true;
        QTest::newRow("short row") << "{" + f + R"(,"rows":[["a",1],["b"]]})" << u"row 2 has 1 values for 2 fields"_s
                                   << true;
        QTest::newRow("text for a float")
            << "{" + f + R"(,"rows":[["a","1"]]})" << u"row 1, field 'TOTEFET': a number was expected"_s << true;
        QTest::newRow("number for a text")
            << "{" + f + R"(,"rows":[[5,1]]})" << u"row 1, field 'NMSERVICO': a text was expected"_s << true;
        QTest::newRow("fraction for an integer")
            << QByteArray(R"({"fields":[{"name":"N","type":"integer"}],"rows":[[1.5]]})")
            << u"row 1, field 'N': an integer was expected"_s << true;
        QTest::newRow("trailing text") << "{" + f + R"(,"rows":[]} x)" << u"text after the packet at offset 104"_s
                                       << false;
        // Faults inside the rows, where the text reader meets them mid-row, and rows read
        // before their fields.
        QTest::newRow("cut short in a row")
            << "{" + f + R"(,"rows":[["a",1],["b")" << u"a value was expected at offset 113"_s << false;
        QTest::newRow("a bad number in a row")
            << "{" + f + R"(,"rows":[["a",-]]})" << u"a bad number at offset 107"_s << false;
        QTest::newRow("a long row") << "{" + f + R"(,"rows":[["a",1],["b",2,3]]})"
                                    << u"row 2 has more than 2 values for 2 fields"_s << false;
        QTest::newRow("a bad number in rows before the fields")
            << R"({"rows":[["a",-]],)" + f + "}" << u"a bad number at offset 15"_s << false;
        QTest::newRow("rows before the fields") << R"({"rows":[["a",1],["b","2"]],)" + f + "}"
                                                << u"row 2, field 'TOTEFET': a number was expected"_s << true;
    }
    void malformedPackets()
    {
        QFETCH(QByteArray, packet);
        QFETCH(QString, error);
        QFETCH(bool, alsoAsObject);
        TClientDataSet ds(u"qryTotal"_s);
        const QString expected = u"qryTotal: Malformed data packet: "_s + error;
        QCOMPARE(ds.LoadFromPacket(packet).error(), expected);
        if (alsoAsObject)
            QCOMPARE(ds.LoadFromPacket(QJsonDocument::fromJson(packet).object()).error(), expected);
        QVERIFY(!ds.Active());
    }

    void tableWithoutPersistentFieldsFollowsEachPacket()
    {
        TClientDataSet ds(u"qryTotal"_s);
        QVERIFY(ds.LoadFromPacket(QByteArray(R"({"fields":[{"name":"A","type":"string","size":2}],"rows":[["abc"]]})"))
                    .ok());
        TField *a = ds.FieldByName(u"A"_s);
        QCOMPARE(a->AsString(), u"ab"_s);
        QVERIFY(
            ds
                .LoadFromPacket(QByteArray(
                    R"({"fields":[{"name":"B","type":"float"},{"name":"A","type":"string","size":2}],"rows":[[1,"xy"]]})"))
                .ok());
        QCOMPARE(ds.FieldByName(u"A"_s), a); // the same field object, now second
        QCOMPARE(a->Index(), 1);
        QCOMPARE(a->AsString(), u"xy"_s);
        QCOMPARE(ds.FieldByName(u"B"_s)->AsFloat(), 1.0);
    }
};

QTEST_GUILESS_MAIN(TstDataPacket)
#include "tst_datapacket.moc"
