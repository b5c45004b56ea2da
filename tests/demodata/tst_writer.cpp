// Writing the demo data into a real SQLite database: what lands in the tables, the refusal
// of a database with data, and --replace.
#include "appserver/demodata/writer.h"
#include "framework/db/databaseurl.h"

#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <numeric>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::demodata;

namespace {

Options smallOptions(std::uint64_t seed)
{
    Options o;
    o.branches = 2;
    o.clients = 25;
    o.services = 4;
    o.days = 20;
    o.start = QDate(2025, 6, 1);
    o.seed = seed;
    return o;
}

QVariant scalar(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql) || !q.next())
        return QVariant();
    return q.value(0);
}

qint64 count(QSqlDatabase &db, const QString &table)
{
    return scalar(db, u"SELECT COUNT(*) FROM "_s + table).toLongLong();
}

} // namespace

class TstWriter : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        auto db = openDatabase(u"sqlite:"_s + m_dir.filePath(u"demo.db"_s), u"tst"_s);
        QVERIFY2(db.ok(), qPrintable(db.error()));
        m_db = *db;
    }
    void cleanup()
    {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(u"tst"_s);
        QFile::remove(m_dir.filePath(u"demo.db"_s));
    }

    void writesEveryTable()
    {
        const DataSet d = generate(smallOptions(1));
        qint64 meals = 0, nulls = 0;
        forEachEfetivo(d, [&](const Efetivo &e) {
            ++meals;
            nulls += e.meals < 0;
        });
        const auto written = writeDataSet(m_db, d, false);
        QVERIFY2(written.ok(), qPrintable(written.error()));
        QCOMPARE(written->efetivo, meals);
        QCOMPARE(count(m_db, u"FILIAL"_s), 2);
        QCOMPARE(count(m_db, u"CLIENTE"_s), 25);
        QCOMPARE(count(m_db, u"CLIEFILI"_s), d.links.size());
        QCOMPARE(count(m_db, u"GRUPSERV"_s), 3);
        QCOMPARE(count(m_db, u"SERVFILI"_s), 8);
        QCOMPARE(count(m_db, u"PRECSERV"_s), d.prices.size());
        QCOMPARE(count(m_db, u"EFETIVO"_s), meals);
        QCOMPARE(scalar(m_db, u"SELECT COUNT(*) FROM EFETIVO WHERE NREFETIVOS IS NULL"_s).toLongLong(), nulls);

        // Dates as ISO text, the form the schema promises on SQLite.
        QCOMPARE(scalar(m_db, u"SELECT COUNT(*) FROM EFETIVO WHERE length(DTEFETIVO) <> 10 OR "
                              "DTEFETIVO NOT BETWEEN '2025-06-01' AND '2025-06-20'"_s)
                     .toInt(),
                 0);
        QCOMPARE(scalar(m_db, u"SELECT MAX(DTEFETIVO) FROM EFETIVO"_s).toString(), u"2025-06-20"_s);
        QCOMPARE(scalar(m_db, u"SELECT typeof(DTEFETIVO) FROM EFETIVO LIMIT 1"_s).toString(), u"text"_s);
        QCOMPARE(scalar(m_db, u"SELECT DTPROCFILI FROM FILIAL WHERE CDFILIAL = '0001'"_s).toString(), u"2025-06-20"_s);
        // Prices come back as the cents they were generated with.
        QCOMPARE(
            qRound(scalar(m_db, u"SELECT SUM(VRPRECUNIT) * 100 FROM PRECSERV"_s).toDouble()),
            std::accumulate(d.prices.begin(), d.prices.end(), 0, [](int s, const Price &p) { return s + p.cents; }));
        // Every meal has a price in force on its day.
        QCOMPARE(scalar(m_db, u"SELECT COUNT(*) FROM EFETIVO E WHERE NOT EXISTS (SELECT 1 FROM PRECSERV P "
                              "WHERE P.CDFILIAL = E.CDFILIAL AND P.CDCLIENTE = E.CDCLIENTE AND "
                              "P.CDSERVFILI = E.CDSERVFILI AND P.DTVIGENCIA <= E.DTEFETIVO)"_s)
                     .toInt(),
                 0);
        // A client without e-mail is NULL or blank, never a missing row.
        int noEmail = 0;
        for (const Client &c : d.clients)
            noEmail += c.email.kind == EmailKind::Empty;
        QCOMPARE(scalar(m_db, u"SELECT COUNT(*) FROM CLIENTE WHERE TRIM(COALESCE(DSEMAIL, '')) = ''"_s).toInt(),
                 noEmail);
        QCOMPARE(describeCounts(*written).section(u", "_s, 0, 1), u"FILIAL 2, CLIENTE 25"_s);
    }

    void refusesADatabaseWithData()
    {
        QVERIFY(writeDataSet(m_db, generate(smallOptions(1)), false).ok());
        const qint64 before = count(m_db, u"EFETIVO"_s);
        const auto again = writeDataSet(m_db, generate(smallOptions(2)), false);
        QVERIFY(!again.ok());
        QVERIFY2(again.error().contains(u"--replace"_s), qPrintable(again.error()));
        QCOMPARE(count(m_db, u"EFETIVO"_s), before);
    }

    void replaceKeepsIssuedNumbers()
    {
        QVERIFY(writeDataSet(m_db, generate(smallOptions(1)), false).ok());
        const QString firstName =
            scalar(m_db, u"SELECT NMRAZSOCCLIE FROM CLIENTE WHERE CDCLIENTE = '0000000001'"_s).toString();
        // The server issued an apuration number and left rows under it.
        QSqlQuery q(m_db);
        QVERIFY(q.exec(u"UPDATE CONTADOR SET NRULTIMO = 5 WHERE NMCONTADOR = 'APURACAO'"_s));
        QVERIFY(q.exec(
            u"INSERT INTO APURACAO (NRAPURACGD, CDFILIAL, DTEMISSAO) VALUES ('0000000005', '0001', '2025-06-20 10:00:00')"_s));
        QVERIFY(q.exec(
            u"INSERT INTO APURFATGD (NRAPURACGD, CDFILIALAPGD, CDCLIENTEAPGD, CDSERVFILIAPGD, DTAPURACFATGD) VALUES ('0000000005', '0001', '0000000001', '001', '2025-06-02')"_s));

        const DataSet other = generate(smallOptions(2));
        const auto replaced = writeDataSet(m_db, other, true);
        QVERIFY2(replaced.ok(), qPrintable(replaced.error()));
        QCOMPARE(count(m_db, u"CLIENTE"_s), 25);
        QCOMPARE(count(m_db, u"EFETIVO"_s), replaced->efetivo);
        QCOMPARE(scalar(m_db, u"SELECT NMRAZSOCCLIE FROM CLIENTE WHERE CDCLIENTE = '0000000001'"_s).toString(),
                 other.clients[0].razaoSocial);
        QVERIFY(other.clients[0].razaoSocial != firstName);
        QCOMPARE(count(m_db, u"APURFATGD"_s), 0);
        // Numbers once issued are never issued again.
        QCOMPARE(count(m_db, u"APURACAO"_s), 1);
        QCOMPARE(scalar(m_db, u"SELECT NRULTIMO FROM CONTADOR WHERE NMCONTADOR = 'APURACAO'"_s).toInt(), 5);
    }

    // A failure half-way (here a duplicate key, after the old data was deleted and the new
    // branches and clients written) leaves the database as it was.
    void failedRunChangesNothing()
    {
        QVERIFY(writeDataSet(m_db, generate(smallOptions(1)), false).ok());
        DataSet broken = generate(smallOptions(2));
        broken.links << broken.links.last(); // the same CLIEFILI row twice
        const auto result = writeDataSet(m_db, broken, true);
        QVERIFY(!result.ok());
        QVERIFY2(result.error().contains(u"CLIEFILI"_s), qPrintable(result.error()));
        QCOMPARE(count(m_db, u"CLIENTE"_s), 25);
        QCOMPARE(scalar(m_db, u"SELECT NMRAZSOCCLIE FROM CLIENTE WHERE CDCLIENTE = '0000000001'"_s).toString(),
                 generate(smallOptions(1)).clients[0].razaoSocial);
    }

private:
    QTemporaryDir m_dir;
    QSqlDatabase m_db;
};

QTEST_GUILESS_MAIN(TstWriter)
#include "tst_writer.moc"
