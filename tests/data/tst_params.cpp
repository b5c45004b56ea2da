// Query parameters: lookup by name, and the types the report layouts rely on (a date as a
// date, the day after the final date as a plain float day number).
#include "framework/core/dates.h"
#include "framework/data/params.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;

class TstParams : public QObject
{
    Q_OBJECT
private slots:
    void lookupByName()
    {
        TParams params;
        params.CreateParam(ftString, u"P_CDFILIAL"_s);
        params.CreateParam(ftDateTime, u"P_DTFINAL"_s);
        QCOMPARE(params.ParamByName(u"p_cdfilial"_s)->Name(), u"P_CDFILIAL"_s);
        QVERIFY(!params.FindParam(u"P_CDGRUPSERV"_s));
        try {
            params.ParamByName(u"P_CDGRUPSERV"_s);
            QFAIL("no error");
        } catch (const EDatabaseError &e) {
            QCOMPARE(e.text(), u"Parameter 'P_CDGRUPSERV' not found"_s);
        }
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, params.CreateParam(ftString, u"p_cdfilial"_s));
    }

    void valuesAndTypes()
    {
        TParams params;
        TParam *fim = params.CreateParam(ftDateTime, u"P_DTFINAL"_s);
        TParam *comp = params.CreateParam(ftUnknown, u"P_DTFINALCOMP"_s);
        TParam *filial = params.CreateParam(ftUnknown, u"P_CDFILIAL"_s);
        const QDate march31(2026, 3, 31); // day 46112; 1 April is 46113
        fim->setAsDate(march31);
        comp->setValue(toDayNumber(march31) + 1.0);
        filial->setValue(u"0001"_s);

        QCOMPARE(fim->Value(), QVariant(march31));
        QCOMPARE(fim->AsFloat(), 46112.0);
        QCOMPARE(fim->AsString(), u"31/03/2026"_s);
        QCOMPARE(comp->DataType(), ftFloat); // a plain number, not date-typed
        QCOMPARE(comp->Value().typeId(), int(QMetaType::Double));
        QCOMPARE(comp->AsFloat(), 46113.0);
        QCOMPARE(comp->AsDateTime(), QDateTime(QDate(2026, 4, 1), QTime(0, 0)));
        QCOMPARE(filial->DataType(), ftString);
        // A declared type stays when a value of another kind is assigned.
        fim->setValue(46000.5);
        QCOMPARE(fim->DataType(), ftDateTime);
        QCOMPARE(fim->AsDateTime(), QDateTime(QDate(2025, 12, 9), QTime(12, 0)));
        fim->Clear();
        QVERIFY(fim->IsNull());
        QCOMPARE(fim->AsString(), QString());
        QCOMPARE(fim->AsFloat(), 0.0);
        filial->setValue(u"abc"_s);
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, filial->AsFloat());
    }
};

QTEST_GUILESS_MAIN(TstParams)
#include "tst_params.moc"
