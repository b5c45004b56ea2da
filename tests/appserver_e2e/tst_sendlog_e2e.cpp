// The send log end to end: the real kpr-appserver on SQLite and on a throw-away PostgreSQL
// cluster (the same test functions against both), called through TNetConnection as the
// desktop screen and the command-line run call it: the claim and its conclusion, a sent
// statement not sent twice, a failed one sent again, a claim left behind by a crash, many
// workstations claiming at once, the listing, and the migration of a version-2 database.
#include "appserver/schema/migrate.h"
#include "framework/core/dates.h"
#include "framework/db/databaseurl.h"
#include "framework/net/netconnection.h"
#include "framework/net/rpcargs.h"
#include "tests/support/appserverprocess.h"
#include "tests/support/pgcluster.h"
#include "tests/support/sqlexec.h"

#include <QJsonObject>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <latch>
#include <mutex>
#include <thread>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using kpr::test::AppServerProcess;
using kpr::test::PgCluster;

namespace {

enum class Backend { SQLite, PostgreSQL };

// Every statement of these tests is of branch 0001, 1 to 15 January 2024, layout 01.
const double kStart = toDayNumber(QDate(2024, 1, 1));
const double kEnd = toDayNumber(QDate(2024, 1, 15));

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
    QJsonValue at(int row, const QString &field) const { return rows.value(row).at(names.indexOf(field)); }
    QString text(int row, const QString &field) const { return rpcText(at(row, field)); }
};

} // namespace

class TstSendLogE2E : public QObject
{
    Q_OBJECT

public:
    explicit TstSendLogE2E(Backend backend) : m_backend(backend) {}

private:
    Backend m_backend;
    QTemporaryDir m_dir;
    std::unique_ptr<PgCluster> m_pg;
    std::unique_ptr<AppServerProcess> m_server;
    std::unique_ptr<TNetConnection> m_net;
    QSqlDatabase m_db;
    QString m_dbName;

    std::unique_ptr<TNetConnection> connection()
    {
        auto net = std::make_unique<TNetConnection>();
        net->setServerName(u"Kpr04700.rdmCFR"_s);
        net->setHost(m_server->host());
        net->setPort(m_server->port());
        net->setConnected(true);
        return net;
    }

    QString databaseUrl(const QString &name)
    {
        if (m_pg) {
            const Status created = m_pg->createDatabase(name);
            return created ? m_pg->url(name) : QString();
        }
        return u"sqlite:"_s + m_dir.filePath(name + u".db"_s);
    }

    static ServerResult claim(TNetConnection &net, const QString &client, const QString &station,
                              const QString &again = {}, const QString &fingerprint = u"f1"_s)
    {
        return net.call(u"ReservaEnvio"_s, {u"0001"_s, kStart, kEnd, u"01"_s, client, fingerprint,
                                            u"contas@%1.example"_s.arg(client), station, again});
    }
    ServerResult claim(const QString &client, const QString &station, const QString &again = {})
    {
        return claim(*m_net, client, station, again);
    }
    ServerResult conclude(const QString &token, const QString &outcome, const QString &reply)
    {
        return m_net->call(u"ConcluiEnvio"_s, {token, outcome, reply});
    }

    static QVariantList row(const QSqlDatabase &db, const QString &sql, const QVariantList &values = {})
    {
        QSqlQuery q(db);
        q.prepare(sql);
        for (const QVariant &v : values)
            q.addBindValue(v);
        QVariantList out;
        if (q.exec() && q.next())
            for (int i = 0; i < q.record().count(); ++i)
                out << q.value(i);
        return out;
    }
    QVariantList row(const QString &sql, const QVariantList &values = {}) { return row(m_db, sql, values); }
    // The attempts of a client's statement, oldest first: situation, workstation.
    QStringList attempts(const QString &client)
    {
        QSqlQuery q(m_db);
        q.prepare(
            u"SELECT IDSITUACAO, NMESTACAO, DTHRFIM IS NULL FROM ENVIOCFRLOG WHERE CDCLIENTE = ? ORDER BY NRENVIO"_s);
        q.addBindValue(client);
        QStringList out;
        if (q.exec())
            while (q.next())
                out << q.value(0).toString() + u' ' + q.value(1).toString()
                           + (q.value(2).toBool() ? u" aberta"_s : QString());
        return out;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        if (m_backend == Backend::PostgreSQL) {
            if (!PgCluster::available()) {
                if (qEnvironmentVariable("CI") == u"true")
                    QFAIL("PostgreSQL 15 is not installed; CI requires it (run scripts/setup)");
                QSKIP("PostgreSQL 15 is not installed");
            }
            m_pg = std::make_unique<PgCluster>();
            const Status started = m_pg->start();
            QVERIFY2(started, qPrintable(started.error()));
        }
        const QString url = databaseUrl(u"kpr_envio"_s);
        QVERIFY(!url.isEmpty());
        m_server = std::make_unique<AppServerProcess>(QString::fromUtf8(KPR_APPSERVER_EXE));
        const Status up = m_server->start(url);
        QVERIFY2(up, qPrintable(up.error()));
        m_dbName = m_pg ? u"envio-pg"_s : u"envio-sqlite"_s;
        Result<QSqlDatabase> db = openDatabase(url, m_dbName);
        QVERIFY2(db, qPrintable(db.error()));
        m_db = db.value();
        m_net = connection();
        QVERIFY2(m_net->connected(), qPrintable(m_net->lastError()));
    }

    void cleanupTestCase()
    {
        m_net.reset();
        if (m_server) {
            const Status stopped = m_server->stop();
            QVERIFY2(stopped, qPrintable(stopped.error()));
        }
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_dbName);
    }

    void sentStatementIsNotSentTwice()
    {
        const ServerResult first = claim(u"C1"_s, u"WS-1"_s);
        QVERIFY2(first.ok, qPrintable(first.error));
        const Packet p = Packet::from(first.data);
        QCOMPARE(p.names,
                 (QStringList{u"IDRESULTADO"_s, u"CDRESERVA"_s, u"NMESTACAO"_s, u"DTHRSITUACAO"_s, u"DSRESPOSTA"_s}));
        QCOMPARE(p.text(0, u"IDRESULTADO"_s), u"R"_s);
        const QString token = p.text(0, u"CDRESERVA"_s);
        QVERIFY2(conclude(token, u"S"_s, u"250 2.0.0 Ok: queued as 4F2A"_s).ok, "conclude");

        // Another workstation, the next morning's scheduled run: already sent, and by whom.
        const Packet again = Packet::from(claim(u"C1"_s, u"WS-2"_s).data);
        QCOMPARE(again.text(0, u"IDRESULTADO"_s), u"S"_s);
        QCOMPARE(again.text(0, u"NMESTACAO"_s), u"WS-1"_s);
        QCOMPARE(again.text(0, u"DSRESPOSTA"_s), u"250 2.0.0 Ok: queued as 4F2A"_s);
        const double sentAt = again.at(0, u"DTHRSITUACAO"_s).toDouble();
        QVERIFY(std::abs(sentAt - toDayNumber(QDateTime::currentDateTime())) < 1.0 / 1440);

        // Sent again on purpose, and this time the server refused the recipient.
        const Packet resend = Packet::from(claim(u"C1"_s, u"WS-2"_s, u"S"_s).data);
        QCOMPARE(resend.text(0, u"IDRESULTADO"_s), u"R"_s);
        QVERIFY(conclude(resend.text(0, u"CDRESERVA"_s), u"F"_s, u"550 5.1.1 mailbox unavailable"_s).ok);
        // A failed statement is claimed again without asking.
        const Packet retry = Packet::from(claim(u"C1"_s, u"WS-1"_s).data);
        QCOMPARE(retry.text(0, u"IDRESULTADO"_s), u"R"_s);
        QVERIFY(conclude(retry.text(0, u"CDRESERVA"_s), u"S"_s, u"250 Ok"_s).ok);

        QCOMPARE(attempts(u"C1"_s), (QStringList{u"S WS-1"_s, u"F WS-2"_s, u"S WS-1"_s}));
        QCOMPARE(row(u"SELECT IDSITUACAO, NMESTACAO, DSRESPOSTA, DSEMAIL FROM ENVIOCFR WHERE CDCLIENTE = 'C1'"_s),
                 (QVariantList{u"S"_s, u"WS-1"_s, u"250 Ok"_s, u"contas@C1.example"_s}));
        // The conclusion belonged to that claim only.
        const ServerResult late = conclude(token, u"F"_s, u"timeout"_s);
        QVERIFY(!late.ok);
        QCOMPARE(late.error,
                 u"A reserva %1 não vale mais: o extrato foi reservado de novo por outra estação."_s.arg(token));
    }

    void claimLeftByACrashHoldsUntilForced()
    {
        // WS-1 claims and dies before it concludes.
        const QString lost = Packet::from(claim(u"C2"_s, u"WS-1"_s).data).text(0, u"CDRESERVA"_s);
        QVERIFY(!lost.isEmpty());
        for (const QString &again : {u""_s, u"N"_s, u"S"_s, u""_s}) {
            const Packet p = Packet::from(claim(u"C2"_s, u"WS-2"_s, again).data);
            QCOMPARE(p.text(0, u"IDRESULTADO"_s), u"E"_s);
            QCOMPARE(p.text(0, u"NMESTACAO"_s), u"WS-1"_s);
            QVERIFY(p.at(0, u"CDRESERVA"_s).isNull());
        }
        QCOMPARE(attempts(u"C2"_s), QStringList{u"E WS-1 aberta"_s});

        const Packet forced = Packet::from(claim(u"C2"_s, u"WS-2"_s, u"F"_s).data);
        QCOMPARE(forced.text(0, u"IDRESULTADO"_s), u"R"_s);
        QVERIFY(conclude(forced.text(0, u"CDRESERVA"_s), u"S"_s, u"250 Ok"_s).ok);
        QVERIFY(!conclude(lost, u"S"_s, u"250 Ok"_s).ok);
        QCOMPARE(attempts(u"C2"_s), (QStringList{u"F WS-1"_s, u"S WS-2"_s}));
    }

    void concurrentWorkstationsClaimEachStatementOnce()
    {
        // Eight workstations, each on its own connection, run the same twenty statements
        // at once: every statement goes to exactly one of them.
        constexpr int stations = 8, statements = 20;
        std::latch start(stations);
        std::mutex lock;
        QHash<QString, QStringList> winners;
        QHash<QString, QStringList> toldHolder;
        QStringList failures;
        std::vector<std::thread> threads;
        for (int t = 0; t < stations; ++t) {
            threads.emplace_back([&, t] {
                auto net = connection();
                const QString station = u"WS-%1"_s.arg(t);
                start.arrive_and_wait();
                for (int i = 0; i < statements; ++i) {
                    const QString client = u"P%1"_s.arg(i, 2, 10, QChar(u'0'));
                    const ServerResult r = claim(*net, client, station);
                    const Packet p = Packet::from(r.data);
                    std::lock_guard guard(lock);
                    if (!r.ok)
                        failures << r.error;
                    else if (p.text(0, u"IDRESULTADO"_s) == u"R"_s)
                        winners[client] << station;
                    else
                        toldHolder[client] << p.text(0, u"IDRESULTADO"_s) + p.text(0, u"NMESTACAO"_s);
                }
            });
        }
        for (std::thread &t : threads)
            t.join();
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u'\n')));
        QCOMPARE(winners.size(), statements);
        for (auto it = winners.cbegin(); it != winners.cend(); ++it) {
            QCOMPARE(it.value().size(), 1);
            const QStringList told = toldHolder.value(it.key());
            QCOMPARE(told.size(), stations - 1);
            for (const QString &answer : told)
                QCOMPARE(answer, u"E"_s + it.value().first());
            QCOMPARE(attempts(it.key()), QStringList{u"E %1 aberta"_s.arg(it.value().first())});
        }
    }

    void statusListsWhatTheRunsLeft()
    {
        // A new fingerprint of C1 (its quantities changed) is a statement of its own.
        const Packet changed = Packet::from(claim(*m_net, u"C1"_s, u"WS-3"_s, {}, u"f2"_s).data);
        QCOMPARE(changed.text(0, u"IDRESULTADO"_s), u"R"_s);

        const ServerResult r = m_net->call(u"SituacaoEnvios"_s, {u"0001"_s, kStart, kEnd, u"01"_s});
        QVERIFY2(r.ok, qPrintable(r.error));
        const Packet p = Packet::from(r.data);
        QCOMPARE(p.names, (QStringList{u"CDCLIENTE"_s, u"DSIMPRESSAO"_s, u"IDSITUACAO"_s, u"NMESTACAO"_s,
                                       u"DTHRSITUACAO"_s, u"DSRESPOSTA"_s, u"DSEMAIL"_s}));
        QCOMPARE(p.rows.size(), 23);
        QStringList firstThree;
        for (int i = 0; i < 3; ++i)
            firstThree << p.text(i, u"CDCLIENTE"_s) + u' ' + p.text(i, u"DSIMPRESSAO"_s) + u' '
                              + p.text(i, u"IDSITUACAO"_s) + u' ' + p.text(i, u"NMESTACAO"_s);
        QCOMPARE(firstThree, (QStringList{u"C1 f1 S WS-1"_s, u"C1 f2 E WS-3"_s, u"C2 f1 S WS-2"_s}));
        QCOMPARE(p.text(0, u"DSEMAIL"_s), u"contas@C1.example"_s);
        QCOMPARE(p.text(22, u"CDCLIENTE"_s), u"P19"_s);

        // Another layout or period is another run: nothing there.
        const ServerResult other = m_net->call(u"SituacaoEnvios"_s, {u"0001"_s, kStart, kEnd, u"03"_s});
        QCOMPARE(Packet::from(other.data).rows.size(), 0);
    }

    void migrationFromVersion2KeepsTheRows()
    {
        const QString url = databaseUrl(u"kpr_v2"_s);
        QVERIFY(!url.isEmpty());
        const QString name = m_dbName + u"-v2"_s;
        {
            Result<QSqlDatabase> opened = openDatabase(url, name);
            QVERIFY2(opened, qPrintable(opened.error()));
            QSqlDatabase db = opened.value();
            const Status v2 = appserver::migrate(db, 2);
            QVERIFY2(v2, qPrintable(v2.error()));
            QVERIFY(test::execSql(
                db, u"INSERT INTO FILIAL (CDFILIAL, NMFILIAL, DTPROCFILI) VALUES ('0001', 'Centro', '2024-01-31')"_s));
            QVERIFY(test::execSql(db, u"UPDATE CONTADOR SET NRULTIMO = 41 WHERE NMCONTADOR = 'APURACAO'"_s));
            QVERIFY(test::execSql(db, u"INSERT INTO APURACAO (NRAPURACGD, CDFILIAL, DTEMISSAO, NRGERACAO) "
                                      "VALUES ('0000000041', '0001', '2024-01-31 10:00:00', 3)"_s));
            QVERIFY(test::execSql(db, u"INSERT INTO APURFATGD VALUES ('0000000041', '0001', 'C1', '01', '2024-01-02', 7, 12.5)"_s));
            QCOMPARE(row(db, u"SELECT MAX(NRVERSAO) FROM SCHEMA_VERSION"_s), QVariantList{2});
            db.close();
        }
        QSqlDatabase::removeDatabase(name);

        const Status migrated = AppServerProcess::initDatabase(QString::fromUtf8(KPR_APPSERVER_EXE), url);
        QVERIFY2(migrated, qPrintable(migrated.error()));

        {
            Result<QSqlDatabase> opened = openDatabase(url, name);
            QSqlDatabase db = opened.value();
            QCOMPARE(row(db, u"SELECT MAX(NRVERSAO) FROM SCHEMA_VERSION"_s).value(0).toInt(), appserver::latestSchemaVersion());
            // The apuration rows survive the rebuild of their table.
            const QVariantList apurated = row(db, u"SELECT CDCLIENTEAPGD, NREFETIVOSAPGD, VRPRECUNITAPGD FROM APURFATGD"_s);
            QCOMPARE(apurated.value(0).toString(), u"C1"_s);
            QCOMPARE(apurated.value(1).toInt(), 7);
            QCOMPARE(apurated.value(2).toDouble(), 12.5);
            QCOMPARE(row(db, u"SELECT NMFILIAL FROM FILIAL WHERE CDFILIAL = '0001'"_s), QVariantList{u"Centro"_s});
            QCOMPARE(row(db, u"SELECT NRGERACAO FROM APURACAO WHERE NRAPURACGD = '0000000041'"_s), QVariantList{3});
            QCOMPARE(row(db, u"SELECT NRULTIMO FROM CONTADOR WHERE NMCONTADOR = 'APURACAO'"_s), QVariantList{41});
            QCOMPARE(row(db, u"SELECT COUNT(*) FROM ENVIOCFR"_s), QVariantList{0});
            QCOMPARE(row(db, u"SELECT COUNT(*) FROM ENVIOCFRLOG"_s), QVariantList{0});
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        // Migrating again finds nothing to do.
        const Status again = AppServerProcess::initDatabase(QString::fromUtf8(KPR_APPSERVER_EXE), url);
        QVERIFY2(again, qPrintable(again.error()));
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int status = 0;
    {
        TstSendLogE2E sqlite(Backend::SQLite);
        status |= QTest::qExec(&sqlite, argc, argv);
    }
    {
        TstSendLogE2E postgres(Backend::PostgreSQL);
        status |= QTest::qExec(&postgres, argc, argv);
    }
    return status;
}

#include "tst_sendlog_e2e.moc"
