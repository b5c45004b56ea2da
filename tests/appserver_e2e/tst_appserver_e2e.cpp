// kpr-appserver end to end: the real server process on SQLite and on PostgreSQL (the same
// test functions run against both), data written straight into its tables, every method
// of Kpr04700.rdmCFR called through TNetConnection, the answers checked against values
// worked out by hand from that data, and the trace read back.
#include "framework/core/dates.h"
#include "framework/db/databaseurl.h"
#include "framework/net/netconnection.h"
#include "framework/net/rpcargs.h"
#include "tests/support/appserverprocess.h"
#include "tests/support/sqlexec.h"
#include "tests/support/pgcluster.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

#include <httplib.h>

#include <latch>
#include <mutex>
#include <set>
#include <thread>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using kpr::test::AppServerProcess;
using kpr::test::PgCluster;

namespace {

// The test data, January 2024 (1 January is day 45292). Period of the runs: 1 to 15.
//
// Branch 0001 "Filial Centro" (with e-mail settings) serves clients C1, C2, C3; branch
// 0002 "Filial Norte" serves C4. Services of 0001: 001 Almoço, 002 Jantar,
// 003 Café da manhã; of 0002: 001 Almoço Norte.
//
// Meals (EFETIVO) and the price in force (PRECSERV) each day:
//   C1 001  2/1: 10 @10,00   5/1: 20 @10,00   8/1: 5 @12,50 (new price from 8/1)
//           10/1: NULL @12,50   15/1: 3 @12,50   and outside the period 31/12: 7, 16/1: 4
//   C1 002  3/1: 2 @8,00   9/1: 4 @8,00
//   C2 001  2/1: 1 @9,90   12/1: 1200 @9,90
//   C2 003  4/1: 2, no price at all
//   C3      no meals
//   C4 (branch 0002) 001  2/1: 100 @7,00
// So one run of 0001 over 1..15 writes 5 + 2 + 2 + 1 = 10 apuration rows.
const QString C1 = u"0000000001"_s, C2 = u"0000000002"_s, C3 = u"0000000003"_s, C4 = u"0000000004"_s;

double day(int month, int d, int year = 2024)
{
    return toDayNumber(QDate(year, month, d));
}

// A data packet read by field name.
struct Packet
{
    QStringList names;
    QList<QJsonArray> rows;

    static Packet from(const QJsonValue &v)
    {
        Packet p;
        for (const QJsonValue &f : v.toObject().value(u"fields"_s).toArray())
            p.names.append(f.toObject().value(u"name"_s).toString());
        for (const QJsonValue &r : v.toObject().value(u"rows"_s).toArray())
            p.rows.append(r.toArray());
        return p;
    }
    int size() const { return int(rows.size()); }
    QJsonValue at(int row, const QString &field) const
    {
        const int i = int(names.indexOf(field));
        Q_ASSERT_X(i >= 0, "Packet::at", qPrintable(field));
        return rows.value(row).at(i);
    }
    QStringList texts(const QString &field) const
    {
        QStringList out;
        for (int r = 0; r < size(); ++r)
            out.append(rpcText(at(r, field)));
        return out;
    }
};

enum class Backend { SQLite, PostgreSQL };

} // namespace

// A call that must succeed; its result lands in var.
#define CALL_OK(var, ...)                                                                                              \
    const ServerResult var = m_net->call(__VA_ARGS__);                                                                 \
    QVERIFY2(var.ok, qPrintable(var.error))

class TstAppServerE2E : public QObject
{
    Q_OBJECT

public:
    explicit TstAppServerE2E(Backend backend) : m_backend(backend) {}

protected:
    Backend m_backend;
    QTemporaryDir m_dir;
    std::unique_ptr<PgCluster> m_pg;
    std::unique_ptr<AppServerProcess> m_server;
    std::unique_ptr<TNetConnection> m_net;
    QString m_dbUrl;
    QSqlDatabase m_db;
    QString m_dbName;

    std::unique_ptr<TNetConnection> connection()
    {
        auto net = std::make_unique<TNetConnection>();
        net->setServerName(u"Kpr04700.rdmCFR"_s);
        net->setHost(m_server->host());
        net->setPort(m_server->port());
        return net;
    }

    bool exec(const QString &sql, const QVariantList &values = {}) { return kpr::test::execSql(m_db, sql, values); }

    QList<QVariantList> select(const QString &sql, const QVariantList &values = {})
    {
        QSqlQuery q(m_db);
        q.prepare(sql);
        for (const QVariant &v : values)
            q.addBindValue(v);
        QList<QVariantList> rows;
        if (!q.exec()) {
            qWarning().noquote() << sql << q.lastError().text();
            return rows;
        }
        while (q.next()) {
            QVariantList row;
            for (int i = 0; i < q.record().count(); ++i)
                row.append(q.value(i));
            rows.append(row);
        }
        return rows;
    }

    int count(const QString &table, const QString &where = {}, const QVariantList &values = {})
    {
        const auto rows =
            select(u"SELECT COUNT(*) FROM "_s + table + (where.isEmpty() ? QString() : u" WHERE "_s + where), values);
        return rows.isEmpty() ? -1 : rows.first().first().toInt();
    }

    // Every table's row count and the counters: what a refused call must leave unchanged.
    QStringList snapshot()
    {
        QStringList s;
        for (const QString &t : {u"FILIAL"_s, u"CLIENTE"_s, u"CLIEFILI"_s, u"GRUPSERV"_s, u"SERVFILI"_s, u"PRECSERV"_s,
                                 u"EFETIVO"_s, u"APURACAO"_s, u"APURFATGD"_s, u"CFRSINTDATA"_s, u"SEQCFR"_s})
            s.append(u"%1=%2"_s.arg(t).arg(count(t)));
        for (const QVariantList &r : select(u"SELECT NMCONTADOR, NRULTIMO FROM CONTADOR ORDER BY NMCONTADOR"_s))
            s.append(u"%1=%2"_s.arg(r[0].toString(), r[1].toString()));
        return s;
    }

    bool writeData()
    {
        bool ok = true;
        auto filial = [&](const QString &code, const QString &name, const QVariantList &mail) {
            ok &= exec(u"INSERT INTO FILIAL (CDFILIAL, NMFILIAL, DTPROCFILI, DSLOGINSMTP, DSEMAILFILI, CDSENHEMAILF, "
                       "DSSMTPEMAILF, IDUTTLSEMAIL, IDUTSSLEMAIL, DSEMAILSMTP) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
                       QVariantList{code, name, QDate(2024, 1, 31)} + mail);
        };
        const QVariant none;
        filial(u"0001"_s, u"Filial Centro"_s,
               {u"cfr.centro"_s, u"cfr@centro.example"_s, u"s3nh4"_s, u"smtp.centro.example:587"_s, u"S"_s, u"N"_s,
                u"Filial Centro <cfr@centro.example>"_s});
        filial(u"0002"_s, u"Filial Norte"_s, {none, none, none, none, none, none, none});

        auto cliente = [&](const QString &code, const QString &kind, const QString &reg, const QString &name,
                           const QString &street, const QString &email) {
            ok &= exec(u"INSERT INTO CLIENTE (CDCLIENTE, IDTPIJURCLIE, NRINSJURCLIE, NMRAZSOCCLIE, NMFANTCLIE, "
                       "DSENDECLIE, NMBAIRCLIE, NMMUNICLIE, NRCEPCLIE, NRINSESTCLIE, NRTELECLIE, DSEMAIL) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
                       {code, kind, reg, name, name.section(u' ', 0, 1), street, u"Centro"_s, u"Curitiba"_s,
                        u"80000-000"_s, u"ISENTO"_s, u"(41) 3000-0000"_s, email});
        };
        cliente(C1, u"J"_s, u"11222333000181"_s, u"Empresa Alfa Ltda"_s, u"Rua A, 1"_s, u"alfa@cliente.example"_s);
        cliente(C2, u"F"_s, u"52998224725"_s, u"Beto Pereira"_s, u"Rua B, 2"_s,
                u"beto@cliente.example;b2@cliente.example"_s);
        cliente(C3, u"J"_s, u"11444777000161"_s, u"Gama Comércio SA"_s, u"Rua C, 3"_s, u"gama@cliente.example"_s);
        cliente(C4, u"J"_s, u"04252011000110"_s, u"Delta Norte Ltda"_s, u"Rua D, 4"_s, u"delta@cliente.example"_s);
        for (const auto &[b, c] : {std::pair{u"0001"_s, C1}, {u"0001"_s, C2}, {u"0001"_s, C3}, {u"0002"_s, C4}})
            ok &= exec(u"INSERT INTO CLIEFILI (CDFILIAL, CDCLIENTE) VALUES (?, ?)"_s, {b, c});

        ok &= exec(u"INSERT INTO GRUPSERV (CDGRUPSERV, NMGRUPSERV) VALUES ('01', 'Refeições')"_s);
        for (const auto &[b, s, n] : {std::tuple{u"0001"_s, u"001"_s, u"Almoço"_s},
                                      {u"0001"_s, u"002"_s, u"Jantar"_s},
                                      {u"0001"_s, u"003"_s, u"Café da manhã"_s},
                                      {u"0002"_s, u"001"_s, u"Almoço Norte"_s}})
            ok &= exec(u"INSERT INTO SERVFILI (CDFILIAL, CDSERVFILI, NMSERVICO, CDGRUPSERV) VALUES (?, ?, ?, '01')"_s,
                       {b, s, n});

        auto preco = [&](const QString &b, const QString &c, const QString &s, QDate from, double price) {
            ok &= exec(
                u"INSERT INTO PRECSERV (CDFILIAL, CDCLIENTE, CDSERVFILI, DTVIGENCIA, VRPRECUNIT) VALUES (?, ?, ?, ?, ?)"_s,
                {b, c, s, from, price});
        };
        preco(u"0001"_s, C1, u"001"_s, QDate(2023, 6, 1), 10.00);
        preco(u"0001"_s, C1, u"001"_s, QDate(2024, 1, 8), 12.50);
        preco(u"0001"_s, C1, u"002"_s, QDate(2023, 12, 1), 8.00);
        preco(u"0001"_s, C2, u"001"_s, QDate(2024, 1, 1), 9.90);
        preco(u"0002"_s, C4, u"001"_s, QDate(2024, 1, 1), 7.00);

        auto efetivo = [&](const QString &b, const QString &c, const QString &s, QDate d, QVariant n) {
            ok &= exec(
                u"INSERT INTO EFETIVO (CDFILIAL, CDCLIENTE, CDSERVFILI, DTEFETIVO, NREFETIVOS) VALUES (?, ?, ?, ?, ?)"_s,
                {b, c, s, d, n});
        };
        const QVariant nullInt = QVariant(QMetaType::fromType<int>());
        efetivo(u"0001"_s, C1, u"001"_s, QDate(2023, 12, 31), 7);
        efetivo(u"0001"_s, C1, u"001"_s, QDate(2024, 1, 2), 10);
        efetivo(u"0001"_s, C1, u"001"_s, QDate(2024, 1, 5), 20);
        efetivo(u"0001"_s, C1, u"001"_s, QDate(2024, 1, 8), 5);
        efetivo(u"0001"_s, C1, u"001"_s, QDate(2024, 1, 10), nullInt);
        efetivo(u"0001"_s, C1, u"001"_s, QDate(2024, 1, 15), 3);
        efetivo(u"0001"_s, C1, u"001"_s, QDate(2024, 1, 16), 4);
        efetivo(u"0001"_s, C1, u"002"_s, QDate(2024, 1, 3), 2);
        efetivo(u"0001"_s, C1, u"002"_s, QDate(2024, 1, 9), 4);
        efetivo(u"0001"_s, C2, u"001"_s, QDate(2024, 1, 2), 1);
        efetivo(u"0001"_s, C2, u"001"_s, QDate(2024, 1, 12), 1200);
        efetivo(u"0001"_s, C2, u"003"_s, QDate(2024, 1, 4), 2);
        efetivo(u"0002"_s, C4, u"001"_s, QDate(2024, 1, 2), 100);
        return ok;
    }

    // A new apuration number of branch, computed over 1..15 January.
    QString apurar(const QString &branch = u"0001"_s)
    {
        const ServerResult n = m_net->call(u"ProPrxRelApurFat"_s, {rpcArg(branch)});
        if (!n.ok)
            return QString();
        const ServerResult r =
            m_net->call(u"ProRelGesDireta"_s, {rpcArg(branch), day(1, 1), day(1, 15), n.data, u""_s});
        return r.ok ? n.data.toString() : QString();
    }

    // A by-date statement packet as the screen sends it: the fields of GetCFRSintData and
    // one row per entry of values (field name to value).
    QJsonObject statementPacket(const QList<QJsonObject> &values)
    {
        const ServerResult empty = m_net->call(u"GetCFRSintData"_s);
        QJsonObject packet = empty.data.toObject();
        const Packet fields = Packet::from(packet);
        QJsonArray rows;
        for (const QJsonObject &v : values) {
            QJsonArray row;
            for (const QString &name : fields.names)
                row.append(v.contains(name) ? v.value(name) : QJsonValue(QJsonValue::Null));
            rows.append(row);
        }
        packet[u"rows"_s] = rows;
        return packet;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const bool pg = m_backend == Backend::PostgreSQL;
        if (pg) {
            if (!PgCluster::available()) {
                // CI must test PostgreSQL; elsewhere a machine without it may skip.
                if (qEnvironmentVariable("CI") == u"true")
                    QFAIL("PostgreSQL 15 is not installed; CI requires it (run scripts/setup)");
                QSKIP("PostgreSQL 15 is not installed");
            }
            m_pg = std::make_unique<PgCluster>();
            const Status started = m_pg->start();
            QVERIFY2(started, qPrintable(started.error()));
            const Status created = m_pg->createDatabase(u"kpr_e2e"_s);
            QVERIFY2(created, qPrintable(created.error()));
            m_dbUrl = m_pg->url(u"kpr_e2e"_s);
        } else {
            m_dbUrl = u"sqlite:"_s + m_dir.filePath(u"server.db"_s);
        }

        // A small body limit, so that the refusal of a large request can be tested.
        m_server = std::make_unique<AppServerProcess>(QString::fromUtf8(KPR_APPSERVER_EXE));
        const Status up = m_server->start(m_dbUrl, {u"--max-body"_s, u"1000000"_s});
        QVERIFY2(up, qPrintable(up.error()));

        m_dbName = pg ? u"e2e-pg"_s : u"e2e-sqlite"_s;
        Result<QSqlDatabase> db = openDatabase(m_dbUrl, m_dbName);
        QVERIFY2(db, qPrintable(db.error()));
        m_db = db.value();
        QVERIFY(writeData());

        m_net = connection();
        m_net->setConnected(true);
        QVERIFY2(m_net->connected(), qPrintable(m_net->lastError()));
    }

    void cleanupTestCase()
    {
        if (!m_server)
            return;
        const int port = m_server->port();
        const Status stopped = m_server->stop();
        QVERIFY2(stopped, qPrintable(stopped.error()));
        // A server that is no longer there: the failure text, at once, not a hang.
        const ServerResult r = m_net->call(u"GetClieFili"_s, {u"0001"_s});
        QVERIFY(!r.ok);
        QCOMPARE(r.error,
                 u"Não foi possível conectar ao servidor de aplicação em 127.0.0.1:%1: conexão recusada."_s.arg(port));
        m_net.reset();
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_dbName);
    }

    void branchClientsAndEmptyStatements()
    {
        CALL_OK(clients, u"GetClieFili"_s, {u"0001"_s});
        const Packet p = Packet::from(clients.data);
        QCOMPARE(p.names, (QStringList{u"IDMARCADO"_s, u"CDCLIENTE"_s, u"IDTPIJURCLIE"_s, u"NRINSJURCLIE"_s,
                                       u"NMRAZSOCCLIE"_s, u"NMFANTCLIE"_s}));
        QCOMPARE(p.texts(u"CDCLIENTE"_s), (QStringList{C1, C2, C3})); // C3 has no meals but is a client
        QCOMPARE(p.texts(u"NMRAZSOCCLIE"_s).at(2), u"Gama Comércio SA"_s);
        QVERIFY(p.at(0, u"IDMARCADO"_s).isNull());

        CALL_OK(none, u"GetClieFili"_s, {u"9999"_s});
        QCOMPARE(Packet::from(none.data).size(), 0);

        CALL_OK(sintData, u"GetCFRSintData"_s);
        const Packet d = Packet::from(sintData.data);
        // The fields of qryCFRSintData in its order: 7 + 6 address + 3 + 11 + 11 + 2 + 3 = 43.
        QStringList expected{u"IDGRUPO"_s,      u"CDFILIAL"_s,     u"NMFILIAL"_s,   u"IDTPIJURCLIE"_s,
                             u"NRINSJURCLIE"_s, u"NMRAZSOCCLIE"_s, u"CDSERVFILI"_s, u"DSENDECLIE"_s,
                             u"NMBAIRCLIE"_s,   u"NMMUNICLIE"_s,   u"NRCEPCLIE"_s,  u"NRTELECLIE"_s,
                             u"NRINSESTCLIE"_s, u"NMSERVICO"_s,    u"NRAPURACGD"_s, u"CDCLIENTEAPGD"_s};
        for (const QString &prefix : {u"QTSERV"_s, u"DTSERV"_s})
            for (int i = 1; i <= 11; ++i)
                expected.append(prefix + QString::number(i).rightJustified(2, u'0'));
        expected += QStringList{u"DTINICIAL"_s, u"DTFINAL"_s, u"TOTALSERV"_s, u"VRPRECO"_s, u"TOTALQUANT"_s};
        QCOMPARE(d.names, expected);
        // The address fields travel unflagged: the server does not store them.
        const QJsonArray fieldDefs = sintData.data.toObject().value(u"fields"_s).toArray();
        QCOMPARE(fieldDefs.at(7).toObject().value(u"flags"_s).toArray(), QJsonArray());
        QCOMPARE(fieldDefs.at(0).toObject().value(u"flags"_s).toArray(), (QJsonArray{u"pfInUpdate"_s, u"pfInWhere"_s}));
        QCOMPARE(d.size(), 0);
        CALL_OK(sintServ, u"GetCFRSintServ"_s);
        QCOMPARE(Packet::from(sintServ.data).names.size(), 35);
        QCOMPARE(Packet::from(sintServ.data).size(), 0);
    }

    void apurationRowsAreTheMealsAtThatDaysPrice()
    {
        CALL_OK(number, u"ProPrxRelApurFat"_s, {u"0001"_s});
        const QString a = number.data.toString();
        QCOMPARE(a.size(), 10);
        CALL_OK(run, u"ProRelGesDireta"_s, {u"0001"_s, day(1, 1), day(1, 15), a, u""_s});
        QCOMPARE(run.data.toDouble(), 10.0); // see the data table above

        // Every row, as stored: 31/12 and 16/1 are outside the period, 0002 is not asked for.
        const QList<QVariantList> rows = select(
            u"SELECT CDCLIENTEAPGD, CDSERVFILIAPGD, DTAPURACFATGD, NREFETIVOSAPGD, VRPRECUNITAPGD FROM APURFATGD "
            "WHERE NRAPURACGD = ? AND CDFILIALAPGD = ? ORDER BY CDCLIENTEAPGD, CDSERVFILIAPGD, DTAPURACFATGD"_s,
            {a, u"0001"_s});
        QStringList got;
        for (const QVariantList &r : rows)
            got.append(u"%1 %2 %3 %4 %5"_s.arg(r[0].toString(), r[1].toString(), r[2].toDate().toString(u"dd/MM"_s),
                                               r[3].isNull() ? u"-"_s : r[3].toString(),
                                               r[4].isNull() ? u"-"_s : QString::number(r[4].toDouble(), 'f', 2)));
        QCOMPARE(got, (QStringList{
                          C1 + u" 001 02/01 10 10.00"_s, C1 + u" 001 05/01 20 10.00"_s,
                          C1 + u" 001 08/01 5 12.50"_s, // the new price is in force from its own day
                          C1 + u" 001 10/01 - 12.50"_s, // a day recorded without a quantity stays empty
                          C1 + u" 001 15/01 3 12.50"_s, // the end date is inside the period
                          C1 + u" 002 03/01 2 8.00"_s, C1 + u" 002 09/01 4 8.00"_s, C2 + u" 001 02/01 1 9.90"_s,
                          C2 + u" 001 12/01 1200 9.90"_s,
                          C2 + u" 003 04/01 2 -"_s, // no price ever set
                      }));

        // Running again under the same number replaces rather than adds.
        CALL_OK(again, u"ProRelGesDireta"_s, {u"0001"_s, day(1, 1), day(1, 5), a, u""_s});
        QCOMPARE(again.data.toDouble(), 5.0); // 2/1 twice, 3/1, 4/1, 5/1
        QCOMPARE(count(u"APURFATGD"_s, u"NRAPURACGD = ?"_s, {a}), 5);

        // A number of another branch, or one never issued, is refused.
        const ServerResult foreign = m_net->call(u"ProRelGesDireta"_s, {u"0002"_s, day(1, 1), day(1, 15), a, u""_s});
        QCOMPARE(foreign.error, u"Apuração %1 não emitida para a filial 0002."_s.arg(a));
        const ServerResult backwards = m_net->call(u"ProRelGesDireta"_s, {u"0001"_s, day(1, 15), day(1, 1), a, u""_s});
        QCOMPARE(backwards.error, u"Data final 01/01/2024 anterior à data inicial 15/01/2024."_s);
        QCOMPARE(count(u"APURFATGD"_s, u"NRAPURACGD = ?"_s, {a}), 5);
        const ServerResult unknown = m_net->call(u"ProPrxRelApurFat"_s, {u"9999"_s});
        QCOMPARE(unknown.error, u"Filial 9999 não cadastrada."_s);
    }

    void clientsOfARunNarrowedByTheList()
    {
        const QString a = apurar();
        QVERIFY(!a.isEmpty());
        QJsonArray all{u"0001"_s, a, u""_s};
        CALL_OK(r, u"GetClieSelect"_s, all);
        const Packet p = Packet::from(r.data);
        QCOMPARE(p.names.mid(0, 7), (QStringList{u"CDCLIENTEAPGD"_s, u"DSENDECLIE"_s, u"NMBAIRCLIE"_s, u"NMMUNICLIE"_s,
                                                 u"NRCEPCLIE"_s, u"NRINSESTCLIE"_s, u"NRTELECLIE"_s}));
        QCOMPARE(p.texts(u"CDCLIENTEAPGD"_s), (QStringList{C1, C2})); // C3 has no meals
        QCOMPARE(p.at(1, u"DSENDECLIE"_s).toString(), u"Rua B, 2"_s);
        QCOMPARE(all, (QJsonArray{u"0001"_s, a, u""_s})); // refs: the list comes back as sent

        for (const auto &[list, expected] : {std::pair{u"_0000000002_"_s, QStringList{C2}},
                                             {u"_0000000001__0000000002_"_s, QStringList{C1, C2}},
                                             {u"_0000000003_"_s, QStringList{}},
                                             {u"0000000001"_s, QStringList{C1}}}) {
            CALL_OK(n, u"GetClieSelect"_s, {u"0001"_s, a, list});
            QCOMPARE(Packet::from(n.data).texts(u"CDCLIENTEAPGD"_s), expected);
        }
        CALL_OK(unknown, u"GetClieSelect"_s, {u"0001"_s, u"0000099999"_s, u""_s});
        QCOMPARE(Packet::from(unknown.data).size(), 0);
    }

    void totalsPerServiceInPortugueseFormats()
    {
        const QString a = apurar();
        QVERIFY(!a.isEmpty());
        CALL_OK(r, u"GetTotalizacao"_s, {u"0001"_s, a, day(1, 1), day(1, 15), u"T"_s});
        const Packet p = Packet::from(r.data);
        // By service name: Almoço, Café da manhã, Jantar.
        QCOMPARE(p.texts(u"CDSERVFILIAPGD"_s), (QStringList{u"001"_s, u"003"_s, u"002"_s}));
        QCOMPARE(p.texts(u"NMSERVICO"_s), (QStringList{u"Almoço"_s, u"Café da manhã"_s, u"Jantar"_s}));
        // 001: meals 10+20+5+0+3 (C1) + 1+1200 (C2) = 1239; value 100+200+62,50+37,50
        //      + 1201 × 9,90 = 400,00 + 11.889,90 = 12.289,90; three prices, so the average
        //      12.289,90 / 1239 = 9,9192 → 9,92.
        // 003: 2 meals, never priced: value 0,00 and price 0,00.
        // 002: 2+4 = 6 meals at 8,00 = 48,00.
        QCOMPARE(p.texts(u"TOTEFETIVOS"_s), (QStringList{u"1.239"_s, u"2"_s, u"6"_s}));
        QCOMPARE(p.texts(u"VRTOTEFETIVOS"_s), (QStringList{u"12.289,90"_s, u"0,00"_s, u"48,00"_s}));
        QCOMPARE(p.texts(u"VRPRECO"_s), (QStringList{u"9,92"_s, u"0,00"_s, u"8,00"_s}));
        QCOMPARE(p.at(0, u"TOTEFET"_s).toDouble(), 1239.0);
        QCOMPARE(p.at(0, u"VRTOTEFET"_s).toDouble(), 12289.9);
        QCOMPARE(p.at(1, u"VRTOTEFET"_s).toDouble(), 0.0);
        // The grand total 12.289,90 + 0,00 + 48,00, on every row.
        QCOMPARE(p.texts(u"VRTOTA"_s), (QStringList(3, u"12.337,90"_s)));

        // One client, part of the period: C1 from 8 to 15 January: 001 is 5+0+3 = 8 meals,
        // all at 12,50 = 100,00; 002 is the 4 meals of 9/1 at 8,00 = 32,00.
        CALL_OK(c1, u"GetTotalizacao"_s, {u"0001"_s, a, day(1, 8), day(1, 15), C1});
        const Packet q = Packet::from(c1.data);
        QCOMPARE(q.texts(u"CDSERVFILIAPGD"_s), (QStringList{u"001"_s, u"002"_s}));
        QCOMPARE(q.texts(u"TOTEFETIVOS"_s), (QStringList{u"8"_s, u"4"_s}));
        QCOMPARE(q.texts(u"VRTOTEFETIVOS"_s), (QStringList{u"100,00"_s, u"32,00"_s}));
        QCOMPARE(q.texts(u"VRPRECO"_s), (QStringList{u"12,50"_s, u"8,00"_s}));
        QCOMPARE(q.texts(u"VRTOTA"_s), (QStringList(2, u"132,00"_s)));

        // C1 over the whole period: 001 has 38 meals worth 400,00 at two prices → 10,53.
        CALL_OK(whole, u"GetTotalizacao"_s, {u"0001"_s, a, day(1, 1), day(1, 15), C1});
        QCOMPARE(Packet::from(whole.data).texts(u"VRPRECO"_s).first(), u"10,53"_s);

        CALL_OK(empty, u"GetTotalizacao"_s, {u"0001"_s, a, day(1, 15), day(1, 1), u"T"_s});
        QCOMPARE(Packet::from(empty.data).size(), 0);
    }

    void servicesAndQuantitiesOfAClient()
    {
        const QString a = apurar();
        QVERIFY(!a.isEmpty());
        CALL_OK(s1, u"GetServSelect"_s, {u"0001"_s, a, C1});
        QCOMPARE(Packet::from(s1.data).texts(u"CDSERVFILIAPGD"_s), (QStringList{u"001"_s, u"002"_s}));
        CALL_OK(s2, u"GetServSelect"_s, {u"0001"_s, a, C2});
        QCOMPARE(Packet::from(s2.data).texts(u"CDSERVFILIAPGD"_s), (QStringList{u"001"_s, u"003"_s}));

        // Window 5 to 10 January, both ends included: 5/1, 8/1 and the empty 10/1; not 2/1 or 15/1.
        QJsonArray args{u"0001"_s, a, C1, u"001"_s, day(1, 5), day(1, 10)};
        const QJsonArray sent = args;
        CALL_OK(q, u"GetQtdeEfetData"_s, args);
        const Packet p = Packet::from(q.data);
        QCOMPARE(args, sent); // both window dates are by reference and come back unchanged
        QCOMPARE(p.texts(u"DTAPURACFATGD"_s),
                 (QStringList{QString::number(day(1, 5)), QString::number(day(1, 8)), QString::number(day(1, 10))}));
        QCOMPARE(p.at(0, u"NREFETIVOSAPGD"_s).toDouble(), 20.0);
        QVERIFY(p.at(2, u"NREFETIVOSAPGD"_s).isNull());
        QCOMPARE(p.texts(u"VRPRECUNITAPGD"_s), (QStringList{u"10"_s, u"12.5"_s, u"12.5"_s}));
        QCOMPARE(p.at(0, u"NMSERVICO"_s).toString(), u"Almoço"_s);
        QCOMPARE(p.at(0, u"NRINSJURCLIE"_s).toString(), u"11222333000181"_s);
        QCOMPARE(p.at(0, u"IDTPIJURCLIE"_s).toString(), u"J"_s);

        CALL_OK(oneDay, u"GetQtdeEfetData"_s, {u"0001"_s, a, C1, u"001"_s, day(1, 15), day(1, 15)});
        QCOMPARE(Packet::from(oneDay.data).size(), 1);
        CALL_OK(reversed, u"GetQtdeEfetData"_s, {u"0001"_s, a, C1, u"001"_s, day(1, 10), day(1, 5)});
        QCOMPARE(Packet::from(reversed.data).size(), 0);
        CALL_OK(unpriced, u"GetQtdeEfetData"_s, {u"0001"_s, a, C2, u"003"_s, day(1, 1), day(1, 15)});
        QVERIFY(Packet::from(unpriced.data).at(0, u"VRPRECUNITAPGD"_s).isNull());

        // By service: all of one service's days together, then the next service.
        CALL_OK(bs, u"GetQtdeEfetServ"_s, {u"0001"_s, a, C1, day(1, 1), day(1, 15)});
        const Packet b = Packet::from(bs.data);
        QCOMPARE(b.texts(u"CDSERVFILIAPGD"_s),
                 (QStringList{u"001"_s, u"001"_s, u"001"_s, u"001"_s, u"001"_s, u"002"_s, u"002"_s}));
        QCOMPARE(b.at(5, u"DTAPURACFAT"_s).toDouble(), day(1, 3));
        QCOMPARE(b.at(0, u"NMFILIAL"_s).toString(), u"Filial Centro"_s);
        QCOMPARE(b.at(0, u"NRAPURACGD"_s).toString(), a);
        CALL_OK(bsWindow, u"GetQtdeEfetServ"_s, {u"0001"_s, a, C1, day(1, 8), day(1, 9)});
        QCOMPARE(Packet::from(bsWindow.data).texts(u"CDSERVFILIAPGD"_s), (QStringList{u"001"_s, u"002"_s}));
    }

    void concurrentCallersGetDistinctNumbers()
    {
        constexpr int callers = 16, each = 4;
        std::latch start(callers);
        std::mutex lock;
        QStringList numbers, failures;
        std::vector<std::thread> threads;
        for (int t = 0; t < callers; ++t) {
            threads.emplace_back([&, t] {
                auto net = connection();
                net->setConnected(true);
                start.arrive_and_wait();
                for (int i = 0; i < each; ++i) {
                    const ServerResult r = net->call(u"ProPrxRelApurFat"_s, {t % 2 ? u"0001"_s : u"0002"_s});
                    std::lock_guard guard(lock);
                    if (r.ok)
                        numbers.append(r.data.toString());
                    else
                        failures.append(r.error);
                }
            });
        }
        for (std::thread &t : threads)
            t.join();
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u'\n')));
        QCOMPARE(numbers.size(), callers * each);
        const std::set<QString> distinct(numbers.begin(), numbers.end());
        QCOMPARE(int(distinct.size()), callers * each);
        for (const QString &n : numbers)
            QCOMPARE(count(u"APURACAO"_s, u"NRAPURACGD = ?"_s, {n}), 1);
    }

    void storedStatementIsReplacedAndDeletedByItsNumber()
    {
        const QString a = apurar(), b = apurar();
        QVERIFY(!a.isEmpty() && !b.isEmpty());
        auto row = [](const QString &number, const QString &client, double q1, const QString &service) {
            return QJsonObject{{u"IDGRUPO"_s, u"1"_s},
                               {u"CDFILIAL"_s, u"0001"_s},
                               {u"NMFILIAL"_s, u"Filial Centro"_s},
                               {u"NRAPURACGD"_s, number},
                               {u"CDCLIENTEAPGD"_s, client},
                               {u"NMSERVICO"_s, service},
                               {u"DSENDECLIE"_s, u"não é guardado"_s},
                               {u"QTSERV01"_s, q1},
                               {u"DTSERV01"_s, day(1, 2)},
                               {u"TOTALQUANT"_s, q1},
                               {u"VRPRECO"_s, 10.0},
                               {u"TOTALSERV"_s, q1 * 10}};
        };
        CALL_OK(first, u"SetCRFSintDados"_s,
                {statementPacket({row(a, C1, 1, u"Almoço"_s), row(a, C2, 2, u"Almoço"_s)})});
        QCOMPARE(first.data.toDouble(), 2.0);
        CALL_OK(other, u"SetCRFSintDados"_s, {statementPacket({row(b, C1, 9, u"Jantar"_s)})});
        QCOMPARE(other.data.toDouble(), 1.0);

        // A second run of a's statement replaces its rows and leaves b's alone. A name of
        // 40 characters is kept to the column's 30.
        const QString longName = u"Refeição especial de fim de semana 1234"_s + u"5"_s;
        CALL_OK(second, u"SetCRFSintDados"_s,
                {statementPacket({row(a, C1, 3, longName), row(a, C1, 4, u"Jantar"_s), row(a, C2, 5, u"Almoço"_s)})});
        QCOMPARE(second.data.toDouble(), 3.0);
        const QList<QVariantList> stored =
            select(u"SELECT NRLINHA, CDCLIENTEAPGD, QTSERV01, NMSERVICO, DTSERV01 FROM CFRSINTDATA "
                   "WHERE NRAPURACGD = ? AND CDFILIAL = ? ORDER BY NRLINHA"_s,
                   {a, u"0001"_s});
        QCOMPARE(stored.size(), 3);
        QCOMPARE(stored[0][0].toInt(), 1);
        QCOMPARE(stored[2][0].toInt(), 3);
        QCOMPARE(stored[1][2].toDouble(), 4.0);
        QCOMPARE(stored[0][3].toString(), longName.left(30));
        QCOMPARE(stored[0][4].toDate(), QDate(2024, 1, 2));
        QCOMPARE(count(u"CFRSINTDATA"_s, u"NRAPURACGD = ?"_s, {b}), 1);

        // A malformed packet changes nothing.
        QJsonObject bad = statementPacket({row(a, C1, 1, u"x"_s)});
        QJsonArray rows = bad.value(u"rows"_s).toArray();
        QJsonArray r0 = rows[0].toArray();
        r0[Packet::from(bad).names.indexOf(u"QTSERV01"_s)] = u"muitos"_s;
        rows[0] = r0;
        bad[u"rows"_s] = rows;
        const ServerResult refused = m_net->call(u"SetCRFSintDados"_s, {bad});
        QCOMPARE(refused.error,
                 u"SetCRFSintDados: o argumento 1 deve ser um pacote de dados: a linha 1, campo QTSERV01, "
                 "deve ser um número."_s);
        QCOMPARE(count(u"CFRSINTDATA"_s, u"NRAPURACGD = ?"_s, {a}), 3);

        // DelCRFSintDados takes the statement of (0001, a) only.
        CALL_OK(del, u"DelCRFSintDados"_s, {u"0001"_s, a});
        QCOMPARE(del.data.toDouble(), 3.0);
        QCOMPARE(count(u"CFRSINTDATA"_s, u"NRAPURACGD = ?"_s, {a}), 0);
        QCOMPARE(count(u"CFRSINTDATA"_s, u"NRAPURACGD = ?"_s, {b}), 1);
        QCOMPARE(count(u"APURFATGD"_s, u"NRAPURACGD = ?"_s, {a}), 10);

        // ProDelTableRelApur takes b's apuration rows and statement; a's rows stay, and so
        // do the rows of branch 0002.
        const QString c = apurar(u"0002"_s);
        QCOMPARE(count(u"APURFATGD"_s, u"NRAPURACGD = ?"_s, {c}), 1);
        CALL_OK(wrongBranch, u"ProDelTableRelApur"_s, {u"0002"_s, b});
        QCOMPARE(wrongBranch.data.toDouble(), 0.0);
        CALL_OK(drop, u"ProDelTableRelApur"_s, {u"0001"_s, b});
        QCOMPARE(drop.data.toDouble(), 11.0); // 10 apuration rows + 1 statement row
        QCOMPARE(count(u"APURFATGD"_s, u"NRAPURACGD = ?"_s, {b}), 0);
        QCOMPARE(count(u"CFRSINTDATA"_s, u"NRAPURACGD = ?"_s, {b}), 0);
        QCOMPARE(count(u"APURFATGD"_s, u"NRAPURACGD = ?"_s, {a}), 10);
        QCOMPARE(count(u"APURFATGD"_s, u"NRAPURACGD = ?"_s, {c}), 1);
        QCOMPARE(count(u"APURACAO"_s, u"NRAPURACGD = ?"_s, {b}), 1); // the number stays issued
    }

    void sequenceNumbersPerFortnight()
    {
        const QString a = apurar();
        QVERIFY(!a.isEmpty());
        // client=number of each client numbered for the fortnight starting on that day.
        auto numbers = [&](QDate fortnight) {
            QStringList out;
            for (const QVariantList &r : select(u"SELECT CDCLIENTE, NRSEQCFR FROM SEQCFR WHERE CDFILIAL = '0001' "
                                                "AND DTQUINZENA = ? ORDER BY CDCLIENTE"_s,
                                                {fortnight}))
                out.append(r[0].toString() + u'=' + r[1].toString());
            return out;
        };
        const int before = count(u"SEQCFR"_s);

        // First half of January: C1 and C2 have data (C3 none), numbers 1 and 2.
        QJsonArray args{day(1, 1), u"0001"_s, u""_s, a, C2, u"1"_s};
        const QJsonArray sent = args;
        CALL_OK(first, u"GetSequencial"_s, args);
        QCOMPARE(first.data.toString(), QString());
        QCOMPARE(args, sent); // the list and the half are by reference; this version leaves them
        // The order in which the two get 1 and 2 is the server's.
        const QStringList firstHalf = numbers(QDate(2024, 1, 1));
        QVERIFY2(firstHalf == (QStringList{C1 + u"=1"_s, C2 + u"=2"_s})
                     || firstHalf == (QStringList{C1 + u"=2"_s, C2 + u"=1"_s}),
                 qPrintable(firstHalf.join(u' ')));

        // Emitting the same fortnight again reuses them, also under another number.
        CALL_OK(again, u"GetSequencial"_s, {day(1, 10), u"0001"_s, u"T"_s, apurar(), C2, u"1"_s});
        QCOMPARE(again.data.toString(), QString());
        QCOMPARE(numbers(QDate(2024, 1, 1)), firstHalf);

        // The second half gets new numbers; a list narrows to its clients.
        CALL_OK(second, u"GetSequencial"_s, {day(1, 16), u"0001"_s, u"_0000000002_"_s, a, C2, u"2"_s});
        QCOMPARE(second.data.toString(), QString());
        QCOMPARE(numbers(QDate(2024, 1, 16)), QStringList{C2 + u"=3"_s});
        QCOMPARE(count(u"SEQCFR"_s), before + 3);

        // Refusals are answers, not failures, and write nothing.
        for (const auto &[start, half, list, number, text] :
             {std::tuple{day(1, 1), u"3"_s, u""_s, a, u"Quinzena \"3\" inválida: deve ser \"1\" ou \"2\"."_s},
              {day(1, 16), u"1"_s, u""_s, a, u"A quinzena 1 não corresponde à data inicial 16/01/2024."_s},
              {day(1, 15), u"2"_s, u""_s, a, u"A quinzena 2 não corresponde à data inicial 15/01/2024."_s},
              {day(2, 1), u"1"_s, u"_0000000003_"_s, a, u"Não há dados apurados para emissão do CFR."_s},
              {day(2, 1), u"1"_s, u""_s, u"0000099999"_s, u"Não há dados apurados para emissão do CFR."_s}}) {
            CALL_OK(r, u"GetSequencial"_s, {start, u"0001"_s, list, number, C1, half});
            QCOMPARE(r.data.toString(), text);
        }
        QCOMPARE(count(u"SEQCFR"_s), before + 3);
    }

    void clientsWithDataAndBranchEmail()
    {
        const QString a = apurar();
        QVERIFY(!a.isEmpty());
        QJsonArray args{u"0001"_s, a, day(1, 1), day(1, 15), u"T"_s};
        CALL_OK(all, u"clientesComDados"_s, args);
        const Packet p = Packet::from(all.data);
        QCOMPARE(p.names, (QStringList{u"CDCLIENTE"_s, u"IDTPIJURCLIE"_s, u"NRINSJURCLIE"_s, u"NMRAZSOCCLIE"_s,
                                       u"NMFANTCLIE"_s, u"DSEMAIL"_s}));
        QCOMPARE(p.texts(u"CDCLIENTE"_s), (QStringList{C1, C2}));
        QCOMPARE(p.at(1, u"DSEMAIL"_s).toString(), u"beto@cliente.example;b2@cliente.example"_s);
        QCOMPARE(args.at(1).toString(), a);
        // 13 to 15 January: only C1 has a meal (15/1); C2's last is 12/1.
        CALL_OK(late, u"clientesComDados"_s, {u"0001"_s, a, day(1, 13), day(1, 15), u""_s});
        QCOMPARE(Packet::from(late.data).texts(u"CDCLIENTE"_s), QStringList{C1});
        CALL_OK(listed, u"clientesComDados"_s, {u"0001"_s, a, day(1, 1), day(1, 15), u"_0000000002_"_s});
        QCOMPARE(Packet::from(listed.data).texts(u"CDCLIENTE"_s), QStringList{C2});

        QJsonArray branch{u"0001"_s};
        CALL_OK(mail, u"EmailFilial"_s, branch);
        const Packet m = Packet::from(mail.data);
        QCOMPARE(m.size(), 1);
        QCOMPARE(m.at(0, u"DSEMAILFILI"_s).toString(), u"cfr@centro.example"_s);
        QCOMPARE(m.at(0, u"DSSMTPEMAILF"_s).toString(), u"smtp.centro.example:587"_s);
        QCOMPARE(m.at(0, u"IDUTTLSEMAIL"_s).toString(), u"S"_s);
        QCOMPARE(m.at(0, u"DSEMAILSMTP"_s).toString(), u"Filial Centro <cfr@centro.example>"_s);
        QCOMPARE(branch, QJsonArray{u"0001"_s});
        CALL_OK(bare, u"EmailFilial"_s, {u"0002"_s});
        QVERIFY(Packet::from(bare.data).at(0, u"DSEMAILFILI"_s).isNull());
        CALL_OK(unknown, u"EmailFilial"_s, {u"9999"_s});
        QCOMPARE(Packet::from(unknown.data).size(), 0);
    }

    void badInputsAreRefusedAndChangeNothing()
    {
        const QString a = apurar();
        QVERIFY(!a.isEmpty());
        const QStringList before = snapshot();
        auto other = connection(); // another workstation, served meanwhile
        const QString injection = u"0001'; DELETE FROM CLIENTE; --"_s;
        const struct
        {
            QString method;
            QJsonArray args;
            QString error;
        } cases[] = {
            {u"ProPrxRelApurFat"_s, {}, u"ProPrxRelApurFat: espera 1 argumento(s), recebeu 0."_s},
            {u"GetClieFili"_s, {u"0001"_s, u"0002"_s}, u"GetClieFili: espera 1 argumento(s), recebeu 2."_s},
            {u"GetClieFili"_s, {1}, u"GetClieFili: o argumento 1 deve ser um texto."_s},
            {u"GetClieFili"_s, {QJsonValue::Null}, u"GetClieFili: o argumento 1 deve ser um texto."_s},
            {u"ProRelGesDireta"_s,
             {u"0001"_s, u"01/01/2024"_s, day(1, 15), a, u""_s},
             u"ProRelGesDireta: o argumento 2 deve ser uma data (número de dias)."_s},
            {u"ProRelGesDireta"_s,
             {u"0001"_s, day(1, 1), u"45306"_s, a, u""_s},
             u"ProRelGesDireta: o argumento 3 deve ser uma data (número de dias)."_s},
            {u"ProRelGesDireta"_s,
             {u"0001"_s, day(1, 1), day(1, 15), a, 0},
             u"ProRelGesDireta: o argumento 5 deve ser um texto."_s},
            {u"SetCRFSintDados"_s,
             {QJsonObject{{u"rows"_s, QJsonArray()}}},
             u"SetCRFSintDados: o argumento 1 deve ser um pacote de dados: falta a lista \"fields\"."_s},
            {u"SetCRFSintDados"_s,
             {u"pacote"_s},
             u"SetCRFSintDados: o argumento 1 deve ser um pacote de dados: não é um objeto "
             "{\"fields\": [...], \"rows\": [...]}."_s},
            {u"getcliefili"_s, {u"0001"_s}, u"Método \"getcliefili\" não existe no módulo Kpr04700.rdmCFR."_s},
            {u"ProPrxRelApurFat"_s, {injection}, u"Filial %1 não cadastrada."_s.arg(injection)},
            {u"ProRelGesDireta"_s,
             {injection, day(1, 1), day(1, 15), a, u""_s},
             u"Apuração %1 não emitida para a filial %2."_s.arg(a, injection)},
        };
        for (const auto &c : cases) {
            const ServerResult r = m_net->call(c.method, c.args);
            QVERIFY2(!r.ok, qPrintable(c.method));
            QCOMPARE(r.error, c.error);
            QVERIFY(other->call(u"GetClieFili"_s, {u"0001"_s}).ok);
        }
        // Quotes and SQL in a text are only text: they match nothing and run nothing.
        CALL_OK(quoted, u"GetClieFili"_s, {u"0001' OR '1'='1"_s});
        QCOMPARE(Packet::from(quoted.data).size(), 0);
        CALL_OK(listed, u"GetClieSelect"_s, {u"0001"_s, a, u"_0000000001' OR 1=1 --_"_s});
        QCOMPARE(Packet::from(listed.data).size(), 0);
        QCOMPARE(snapshot(), before);
    }

    void malformedRequestsGetHttpErrors()
    {
        httplib::Client raw(m_server->host().toStdString(), m_server->port());
        raw.set_read_timeout(30, 0);
        const struct
        {
            const char *method;
            std::string path;
            std::string body;
            int status;
            QString error;
        } cases[] = {
            {"POST", "/rpc/Kpr04700.rdmCFR", "{\"method\": ", 400,
             u"Requisição inválida: o corpo não é um JSON válido"_s},
            {"POST", "/rpc/Kpr04700.rdmCFR", "[1, 2]", 400, u"Requisição inválida: o corpo deve ser um objeto JSON."_s},
            {"POST", "/rpc/Kpr04700.rdmCFR", "{\"args\": []}", 400,
             u"Requisição inválida: falta o campo \"method\" (texto)."_s},
            {"POST", "/rpc/Kpr04700.rdmCFR", "{\"method\": \"GetCFRSintData\", \"args\": {}}", 400,
             u"Requisição inválida: falta o campo \"args\" (lista)."_s},
            {"POST", "/rpc/Kpr04700.rdmXYZ", "{\"method\": \"GetCFRSintData\", \"args\": []}", 404,
             u"Módulo \"Kpr04700.rdmXYZ\" não encontrado: use POST /rpc/Kpr04700.rdmCFR."_s},
            {"POST", "/outro", "{}", 404, u"Caminho \"/outro\" não encontrado: use POST /rpc/Kpr04700.rdmCFR."_s},
            {"GET", "/rpc/Kpr04700.rdmCFR", "", 405, u"Método HTTP não permitido: use POST /rpc/Kpr04700.rdmCFR."_s},
        };
        const int traced = m_server->traceCount();
        for (const auto &c : cases) {
            const httplib::Result res =
                std::string(c.method) == "GET" ? raw.Get(c.path) : raw.Post(c.path, c.body, "application/json");
            QVERIFY2(res, qPrintable(QString::fromStdString(c.path)));
            QCOMPARE(res->status, c.status);
            const QString error =
                QJsonDocument::fromJson(QByteArray::fromStdString(res->body)).object().value(u"error"_s).toString();
            QVERIFY2(error.startsWith(c.error), qPrintable(error));
        }
        QCOMPARE(m_server->traceCount(), traced); // HTTP-level refusals are not traced

        // A request over the body limit is refused with a text; the connection recovers.
        const ServerResult big = m_net->call(u"GetClieFili"_s, {QString(1100000, u'x')});
        QVERIFY(!big.ok);
        QCOMPARE(big.error, u"O servidor de aplicação em %1 recusou a chamada de GetClieFili (HTTP 413): "
                            "Requisição grande demais: o limite é de 1000000 bytes."_s.arg(
                                m_net->host() + u':' + QString::number(m_net->port())));
        QVERIFY(m_net->call(u"GetClieFili"_s, {u"0001"_s}).ok);
    }

    void traceListsTheCallsInOrder()
    {
        const int mark = m_server->traceCount();
        CALL_OK(n, u"ProPrxRelApurFat"_s, {u"0001"_s});
        const QString a = n.data.toString();
        CALL_OK(run, u"ProRelGesDireta"_s, {u"0001"_s, day(1, 1), day(1, 15), a, u""_s});
        CALL_OK(empty, u"GetCFRSintData"_s);
        CALL_OK(clients, u"GetClieSelect"_s, {u"0001"_s, a, u""_s});
        CALL_OK(totals, u"GetTotalizacao"_s, {u"0001"_s, a, day(1, 1), day(1, 15), u"T"_s});
        CALL_OK(services, u"GetServSelect"_s, {u"0001"_s, a, C1});
        CALL_OK(quantities, u"GetQtdeEfetData"_s, {u"0001"_s, a, C1, u"001"_s, day(1, 1), day(1, 10)});
        QVERIFY(!m_net->call(u"GetServSelect"_s, {u"0001"_s, a}).ok);
        CALL_OK(store, u"SetCRFSintDados"_s, {empty.data});

        const QList<test::TracedCall> trace = m_server->trace(mark);
        QStringList methods;
        for (const auto &t : trace)
            methods.append(t.method);
        QCOMPARE(methods, (QStringList{u"ProPrxRelApurFat"_s, u"ProRelGesDireta"_s, u"GetCFRSintData"_s,
                                       u"GetClieSelect"_s, u"GetTotalizacao"_s, u"GetServSelect"_s,
                                       u"GetQtdeEfetData"_s, u"GetServSelect"_s, u"SetCRFSintDados"_s}));
        QCOMPARE(trace[1].args, (QJsonArray{u"0001"_s, day(1, 1), day(1, 15), a, u""_s}));
        QCOMPARE(trace[7].args, (QJsonArray{u"0001"_s, a}));
        QVERIFY(trace[6].ok);
        QVERIFY(!trace[7].ok);
        for (const auto &t : trace)
            QVERIFY(t.ms >= 0);
    }
};

class TstAppServerSQLite : public TstAppServerE2E
{
    Q_OBJECT
public:
    TstAppServerSQLite() : TstAppServerE2E(Backend::SQLite) {}
};

class TstAppServerPostgreSQL : public TstAppServerE2E
{
    Q_OBJECT
public:
    TstAppServerPostgreSQL() : TstAppServerE2E(Backend::PostgreSQL) {}
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int status = 0;
    {
        TstAppServerSQLite sqlite;
        status |= QTest::qExec(&sqlite, argc, argv);
    }
    {
        TstAppServerPostgreSQL postgres;
        status |= QTest::qExec(&postgres, argc, argv);
    }
    return status;
}

#include "tst_appserver_e2e.moc"
