// The look-up query on a real SQLite file: bound parameters (one used twice), all / one /
// none, dialect texts, errors, and the branch processing date.
#include "framework/core/abort.h"
#include "framework/db/adoibquery.h"
#include "framework/db/dataproc.h"
#include "framework/db/dtmdbgeral.h"

#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;

class TstADOIBQuery : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;

    static QStringList filialSql()
    {
        return {u"SELECT"_s,
                u"   CDFILIAL,"_s,
                u"   NMFILIAL"_s,
                u"FROM"_s,
                u"   FILIAL"_s,
                u"WHERE"_s,
                u"   (CDFILIAL = :P_CDFILIAL OR :P_TCDFILIAL = 'T')"_s,
                u"ORDER BY"_s,
                u"   CDFILIAL"_s,
                QString(),
                u" "_s};
    }

    static QStringList codes(TADOIBQuery &q)
    {
        QStringList out;
        for (q.First(); !q.Eof(); q.Next())
            out << q.FieldByName(u"CDFILIAL"_s)->AsString();
        return out;
    }

private slots:
    void initTestCase()
    {
        const Status st = dtmDBGeral::open(u"sqlite:"_s + tmp.filePath(u"kpr.db"_s));
        QVERIFY2(st.ok(), qPrintable(st.error()));
        QSqlQuery q(dtmDBGeral::database());
        QVERIFY(q.exec(u"CREATE TABLE FILIAL (CDFILIAL VARCHAR(4) PRIMARY KEY, NMFILIAL VARCHAR(30), "
                       u"DTPROCFILI DATE NOT NULL)"_s));
        // Inserted out of order: the statement's ORDER BY must put them right.
        QVERIFY(q.exec(u"INSERT INTO FILIAL VALUES ('0010','Sul','2026-03-31'), "
                       u"('0001','Matriz','2026-01-15'), ('0002','Centro','2026-02-01')"_s));
    }
    void cleanupTestCase() { dtmDBGeral::close(); }

    void oneAllNone()
    {
        TADOIBQuery q(u"qryFilial"_s);
        q.setSQL(filialSql());
        QCOMPARE(q.ParamNames(), (QStringList{u"P_CDFILIAL"_s, u"P_TCDFILIAL"_s}));

        // One branch: the code given, the "all" companion empty.
        q.ParamByName(u"P_CDFILIAL"_s).setAsString(u"0002"_s);
        q.ParamByName(u"P_TCDFILIAL"_s).setAsString(QString());
        q.Open();
        QCOMPARE(q.RecordCount(), 1);
        QCOMPARE(q.FieldByName(u"NMFILIAL"_s)->AsString(), u"Centro"_s);

        // Every branch: the code cleared (NULL matches nothing), "T" in the companion.
        q.Close();
        q.ParamByName(u"P_CDFILIAL"_s).Clear();
        q.ParamByName(u"P_TCDFILIAL"_s).setAsString(u"T"_s);
        q.Open();
        QCOMPARE(codes(q), (QStringList{u"0001"_s, u"0002"_s, u"0010"_s}));

        // No branch, also for a value that would widen a concatenated statement.
        q.Close();
        q.ParamByName(u"P_TCDFILIAL"_s).setAsString(QString());
        q.ParamByName(u"P_CDFILIAL"_s).setAsString(u"9999"_s);
        q.Open();
        QVERIFY(q.IsEmpty());
        q.ParamByName(u"P_CDFILIAL"_s).setAsString(u"x' OR 'T' = 'T"_s);
        q.Open();
        QVERIFY(q.IsEmpty());

        // The rows are a read-only table.
        q.ParamByName(u"P_TCDFILIAL"_s).setAsString(u"T"_s);
        q.Open();
        QVERIFY_THROWS_EXCEPTION(EKprError, q.Edit());
        QCOMPARE(q.RecordCount(), 3);
    }

    void dialectTextReplacesDefault()
    {
        TADOIBQuery q(u"qryFilial"_s);
        q.setSQL({u"SELECT NMFILIAL FROM FILIAL WHERE CDFILIAL = :P_CDFILIAL"_s});
        q.setSQL_ORACLE({u"SELECT NMFILIAL FROM FILIAL WHERE ROWNUM < :P_N"_s});
        q.setSQL_SQLITE({u"SELECT NMFILIAL || '*' AS NMFILIAL FROM FILIAL WHERE CDFILIAL = :P_CDFILIAL"_s});
        q.ParamByName(u"p_cdfilial"_s).setAsString(u"0001"_s); // names without regard to case
        q.Open();
        QCOMPARE(q.FieldByName(u"NMFILIAL"_s)->AsString(), u"Matriz*"_s);
        q.setSQL_SQLITE({u"  "_s});
        q.Open();
        QCOMPARE(q.FieldByName(u"NMFILIAL"_s)->AsString(), u"Matriz"_s);
    }

    void positionalRewrite()
    {
        const auto p = TADOIBQuery::toPositional(
            u"SELECT ':P_NO', \"a:P_NO\" FROM T -- :P_NO\nWHERE X::int = :P_A /* :P_NO */ OR :P_A = 'it''s :P_NO'"_s);
        QCOMPARE(p.names, (QStringList{u"P_A"_s, u"P_A"_s}));
        QCOMPARE(p.sql,
                 u"SELECT ':P_NO', \"a:P_NO\" FROM T -- :P_NO\nWHERE X::int = ? /* :P_NO */ OR ? = 'it''s :P_NO'"_s);
    }

    void failuresSayWhat()
    {
        TADOIBQuery q(u"qryGrupServ"_s);
        q.setSQL({u"SELECT CDGRUPSERV FROM GRUPSERV"_s});
        try {
            q.Open();
            QFAIL("a missing table must fail");
        } catch (const EKprError &e) {
            QVERIFY2(e.text().startsWith(u"qryGrupServ: "_s) && e.text().contains(u"GRUPSERV"_s), qPrintable(e.text()));
        }
        QVERIFY(!q.Active());
        QVERIFY_THROWS_EXCEPTION(EKprError, q.ParamByName(u"P_CDFILIAL"_s));
    }

    // A read-only query cannot write, whatever its statement; the connection writes again
    // afterwards.
    void readOnlyNeverWrites()
    {
        TADOIBQuery w(u"qryLayout"_s);
        w.setReadOnly(true);
        w.setSQL({u"UPDATE FILIAL SET NMFILIAL = 'X'"_s});
        QVERIFY_THROWS_EXCEPTION(EKprError, w.Open());
        TADOIBQuery r(u"qryLayout"_s);
        r.setReadOnly(true);
        r.setSQL({u"SELECT NMFILIAL FROM FILIAL WHERE CDFILIAL = '0001'"_s});
        r.Open();
        QCOMPARE(r.FieldByName(u"NMFILIAL"_s)->AsString(), u"Matriz"_s);
        QSqlQuery q(dtmDBGeral::database());
        QVERIFY(q.exec(u"UPDATE FILIAL SET NMFILIAL = 'Matriz' WHERE CDFILIAL = '0001'"_s));
    }

    void processingDate()
    {
        QCOMPARE(DataProc(u"0002"_s), QDate(2026, 2, 1));
        QCOMPARE(DataProc(u" 0010 "_s), QDate(2026, 3, 31));
        QVERIFY(!DataProc(u"9999"_s).isValid());
        QVERIFY(!DataProc(QString()).isValid());

        // A DATE column read through the query is a date-time field, bound back as a date.
        TADOIBQuery q(u"qryData"_s);
        q.setSQL({u"SELECT CDFILIAL, DTPROCFILI FROM FILIAL WHERE DTPROCFILI >= :P_DTINI ORDER BY 1"_s});
        q.ParamByName(u"P_DTINI"_s).setAsDate(QDate(2026, 2, 1));
        q.Open();
        QCOMPARE(q.FieldByName(u"DTPROCFILI"_s)->DataType(), ftDateTime);
        QCOMPARE(q.FieldByName(u"DTPROCFILI"_s)->AsDateTime().date(), QDate(2026, 2, 1));
        QCOMPARE(q.RecordCount(), 2);
    }
};

QTEST_GUILESS_MAIN(TstADOIBQuery)
#include "tst_adoibquery.moc"
