// kpr-appserver at its edges, on SQLite and on a throw-away PostgreSQL cluster side by side:
// one table of boundary calls (every method) sent as raw JSON to both servers, whose answers
// and stored rows must agree; two runs of one apuration number at once, which must leave one
// period's rows; a database failure, which the caller sees only as such while the server's
// log keeps the detail; the modes of the files the server creates; the database password
// read by libpq from PGPASSWORD or a password file.
#include "framework/core/dates.h"
#include "framework/db/databaseurl.h"
#include "tests/support/appserverprocess.h"
#include "tests/support/pgcluster.h"
#include "tests/support/sqlexec.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

#include <httplib.h>

#include <latch>
#include <thread>

#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using kpr::test::AppServerProcess;
using kpr::test::PgCluster;

namespace {

const int kClients = 40; // enough rows that two runs of one number overlap in time

// One answer as the wire carried it: HTTP status and the body's object. Values that differ
// by nature between two servers (a claim's token, the time now) are blanked.
struct Reply
{
    int status = 0;
    QJsonObject body;
};

QJsonValue blankVolatile(const QJsonValue &result)
{
    QJsonObject packet = result.toObject();
    if (!packet.contains(u"fields"_s))
        return result;
    const QJsonArray fields = packet.value(u"fields"_s).toArray();
    QJsonArray rows = packet.value(u"rows"_s).toArray();
    for (qsizetype f = 0; f < fields.size(); ++f) {
        const QString name = fields.at(f).toObject().value(u"name"_s).toString();
        if (name != u"CDRESERVA"_s && name != u"DTHRSITUACAO"_s)
            continue;
        for (qsizetype r = 0; r < rows.size(); ++r) {
            QJsonArray row = rows.at(r).toArray();
            row[f] = row.at(f).isNull() ? u"(nulo)"_s : u"(varia)"_s;
            rows[r] = row;
        }
    }
    packet[u"rows"_s] = rows;
    return packet;
}

Reply post(const AppServerProcess &server, const QByteArray &body)
{
    httplib::Client client(server.host().toStdString(), server.port());
    client.set_read_timeout(60, 0);
    const httplib::Result res = client.Post("/rpc/Kpr04700.rdmCFR", body.toStdString(), "application/json");
    Reply r;
    if (!res)
        return r;
    r.status = res->status;
    r.body = QJsonDocument::fromJson(QByteArray::fromStdString(res->body)).object();
    if (r.body.contains(u"result"_s))
        r.body[u"result"_s] = blankVolatile(r.body.value(u"result"_s));
    return r;
}

QByteArray callBody(const QString &method, const QByteArray &argsJson)
{
    return "{\"method\": \"" + method.toUtf8() + "\", \"args\": " + argsJson + "}";
}

// A value read back from either database in one shape: dates as ISO text, numbers as
// numbers (PostgreSQL hands NUMERIC back as text), NULL as "(nulo)".
QString canonical(const QVariant &v)
{
    if (v.isNull())
        return u"(nulo)"_s;
    if (v.typeId() == QMetaType::QDate)
        return v.toDate().toString(Qt::ISODate);
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime().date().toString(Qt::ISODate);
    bool number = false;
    const double d = v.toDouble(&number);
    if (number && v.typeId() != QMetaType::QString)
        return QString::number(d, 'g', 15);
    const QString text = v.toString();
    const double parsed = text.toDouble(&number);
    if (number && text.contains(u'.'))
        return QString::number(parsed, 'g', 15);
    return text;
}

enum class Backend { SQLite, PostgreSQL };

struct Side
{
    Backend backend;
    QString url;
    QString connection;
    QSqlDatabase db;
    std::unique_ptr<AppServerProcess> server;
};

} // namespace

class TstAppServerEdges : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<PgCluster> m_pg;
    Side m_sides[2] = {{Backend::SQLite, {}, u"edges-sqlite"_s, {}, {}},
                       {Backend::PostgreSQL, {}, u"edges-pg"_s, {}, {}}};

    static QString name(const Side &s) { return s.backend == Backend::SQLite ? u"SQLite"_s : u"PostgreSQL"_s; }

    QList<QStringList> rows(Side &side, const QString &sql, const QVariantList &values = {})
    {
        QSqlQuery q(side.db);
        q.prepare(sql);
        for (const QVariant &v : values)
            q.addBindValue(v);
        QList<QStringList> out;
        if (!q.exec()) {
            out.append({u"falhou: "_s + sql});
            return out;
        }
        while (q.next()) {
            QStringList row;
            for (int i = 0; i < q.record().count(); ++i)
                row.append(canonical(q.value(i)));
            out.append(row);
        }
        return out;
    }

    // Statements PostgreSQL cannot prepare (DDL), run as they are.
    static bool direct(const QSqlDatabase &db, const QString &sql)
    {
        QSqlQuery q(db);
        return q.exec(sql);
    }

    int count(Side &side, const QString &where, const QVariantList &values)
    {
        const auto r = rows(side, u"SELECT COUNT(*) FROM APURFATGD WHERE "_s + where, values);
        return r.isEmpty() ? -1 : r.first().first().toInt();
    }

    // The same small data set on both: branch 0001 with two services; every client has
    // meals of service 001 on each day of January 2024 and of 002 on the even days.
    bool writeData(Side &side)
    {
        bool ok = side.db.transaction();
        auto exec = [&](const QString &sql, const QVariantList &values = {}) {
            ok &= kpr::test::execSql(side.db, sql, values);
        };
        exec(u"INSERT INTO FILIAL (CDFILIAL, NMFILIAL, DTPROCFILI) VALUES ('0001', 'Filial Centro', '2024-01-31')"_s);
        exec(u"INSERT INTO GRUPSERV (CDGRUPSERV, NMGRUPSERV) VALUES ('01', 'Refeições')"_s);
        exec(
            u"INSERT INTO SERVFILI (CDFILIAL, CDSERVFILI, NMSERVICO, CDGRUPSERV) VALUES ('0001', '001', 'Almoço', '01')"_s);
        exec(
            u"INSERT INTO SERVFILI (CDFILIAL, CDSERVFILI, NMSERVICO, CDGRUPSERV) VALUES ('0001', '002', 'Jantar', '01')"_s);
        for (int c = 1; c <= kClients; ++c) {
            const QString code = QString::number(c).rightJustified(10, u'0');
            exec(u"INSERT INTO CLIENTE (CDCLIENTE, IDTPIJURCLIE, NRINSJURCLIE, NMRAZSOCCLIE, DSEMAIL) "
                 "VALUES (?, 'J', ?, ?, ?)"_s,
                 {code, u"1122233300%1"_s.arg(c, 4, 10, QChar(u'0')), u"Cliente %1 Ltda"_s.arg(c),
                  u"c%1@cliente.example"_s.arg(c)});
            exec(u"INSERT INTO CLIEFILI (CDFILIAL, CDCLIENTE) VALUES ('0001', ?)"_s, {code});
            exec(u"INSERT INTO PRECSERV (CDFILIAL, CDCLIENTE, CDSERVFILI, DTVIGENCIA, VRPRECUNIT) "
                 "VALUES ('0001', ?, '001', '2023-06-01', 10.50)"_s,
                 {code});
            for (int d = 1; d <= 31; ++d) {
                const QString day = u"2024-01-%1"_s.arg(d, 2, 10, QChar(u'0'));
                exec(u"INSERT INTO EFETIVO (CDFILIAL, CDCLIENTE, CDSERVFILI, DTEFETIVO, NREFETIVOS) "
                     "VALUES ('0001', ?, '001', ?, ?)"_s,
                     {code, day, c + d});
                if (d % 2 == 0)
                    exec(u"INSERT INTO EFETIVO (CDFILIAL, CDCLIENTE, CDSERVFILI, DTEFETIVO, NREFETIVOS) "
                         "VALUES ('0001', ?, '002', ?, NULL)"_s,
                         {code, day});
            }
        }
        return side.db.commit() && ok;
    }

    QString issue(Side &side)
    {
#ifndef Q_MOC_RUN // moc cannot read the raw JSON strings below
        return post(*side.server, callBody(u"ProPrxRelApurFat"_s, R"(["0001"])")).body.value(u"result"_s).toString();
#endif
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        if (!PgCluster::available()) {
            if (qEnvironmentVariable("CI") == u"true")
                QFAIL("PostgreSQL 15 is not installed; CI requires it (run scripts/setup)");
            QSKIP("PostgreSQL 15 is not installed: the two databases cannot be compared");
        }
        m_pg = std::make_unique<PgCluster>();
        const Status started = m_pg->start();
        QVERIFY2(started, qPrintable(started.error()));
        const Status created = m_pg->createDatabase(u"kpr_edges"_s);
        QVERIFY2(created, qPrintable(created.error()));
        m_sides[0].url = u"sqlite:"_s + m_dir.filePath(u"edges.db"_s);
        m_sides[1].url = m_pg->url(u"kpr_edges"_s);
        for (Side &side : m_sides) {
            side.server = std::make_unique<AppServerProcess>(QString::fromUtf8(KPR_APPSERVER_EXE));
            const Status up = side.server->start(side.url);
            QVERIFY2(up, qPrintable(up.error()));
            auto db = openDatabase(side.url, side.connection);
            QVERIFY2(db, qPrintable(db.error()));
            side.db = *db;
            QVERIFY2(writeData(side), qPrintable(name(side)));
        }
    }

    void cleanupTestCase()
    {
        for (Side &side : m_sides) {
            if (side.server && side.server->running())
                QVERIFY(side.server->stop());
            side.db.close();
            side.db = QSqlDatabase();
            QSqlDatabase::removeDatabase(side.connection);
        }
    }

    // Every method with a value at or past its boundary, on both databases: the same answer
    // (ok with the same result, or the same refusal) and afterwards the same rows.
    void bothDatabasesAnswerEdgeCallsAlike()
    {
#ifndef Q_MOC_RUN // moc cannot read the raw JSON strings below
        const QString a = issue(m_sides[0]);
        QCOMPARE(issue(m_sides[1]), a); // fresh databases issue the same numbers
        const QByteArray A = a.toUtf8();
        const QString packetFields =
            uR"([{"name": "CDFILIAL"}, {"name": "NRAPURACGD"}, {"name": "NMSERVICO"}, {"name": "DTSERV01"},
                 {"name": "DTINICIAL"}, {"name": "DTFINAL"}, {"name": "QTSERV01"}])"_s;
        auto packet = [&](const QByteArray &row) {
            return "[{\"fields\": " + packetFields.toUtf8() + ", \"rows\": [" + row + "]}]";
        };
        const QString badJson = u"Requisição inválida: o corpo não é um JSON válido"_s;
        const struct
        {
            QString method;
            QByteArray args;
            QString error; // empty: ok; else the refusal (HTTP 400: its start)
        } cases[] = {
            {u"ProPrxRelApurFat"_s, R"(["0001\u0000"])",
             u"ProPrxRelApurFat: o argumento 1 contém o caractere nulo (U+0000)."_s},
            {u"ProRelGesDireta"_s, R"(["0001", 2, 2958465.5, ")" + A + R"(", ""])", {}},
            {u"ProRelGesDireta"_s, R"(["0001", 45292, 2958466, ")" + A + R"(", ""])",
             u"ProRelGesDireta: o argumento 3 deve ser uma data de 01/01/1900 a 31/12/9999."_s},
            {u"ProRelGesDireta"_s, R"(["0001", 1.5, 45306, ")" + A + R"(", ""])",
             u"ProRelGesDireta: o argumento 2 deve ser uma data de 01/01/1900 a 31/12/9999."_s},
            {u"GetClieFili"_s, R"(["0001\ud800"])",
             u"GetClieFili: o argumento 1 contém um caractere inválido (U+D800 sem par)."_s},
            {u"GetClieFili"_s, R"(["0001\ud83d\ude00"])", {}},
            {u"GetClieFili"_s, R"(["0001"])", {}},
            {u"GetCFRSintData"_s, R"([0])", u"GetCFRSintData: espera 0 argumento(s), recebeu 1."_s},
            {u"GetClieSelect"_s, R"(["0001", ")" + A + R"(", "_0000000001\u0000_"])",
             u"GetClieSelect: o argumento 3 contém o caractere nulo (U+0000)."_s},
            {u"GetTotalizacao"_s, R"(["0001", ")" + A + R"(", 2, 2958465, "T"])", {}},
            {u"GetTotalizacao"_s, R"(["0001", ")" + A + R"(", -1e7, 45306, "T"])",
             u"GetTotalizacao: o argumento 3 deve ser uma data de 01/01/1900 a 31/12/9999."_s},
            {u"GetTotalizacao"_s, R"(["0001", ")" + A + R"(", NaN, 45306, "T"])", badJson},
            {u"GetTotalizacao"_s, R"(["0001", ")" + A + R"(", 1e400, 45306, "T"])", badJson},
            {u"GetServSelect"_s, R"(["0001", ")" + A + R"(", "\ufffd"])",
             u"GetServSelect: o argumento 3 contém o caractere de substituição (U+FFFD), sinal de um texto mal convertido."_s},
            {u"GetServSelect"_s, "[\"0001\", \"" + A + "\", \"\xff\"]", badJson},
            {u"GetQtdeEfetData"_s, R"(["0001", ")" + A + R"(", "0000000001", "001", 2, 2958465])", {}},
            {u"GetQtdeEfetData"_s, R"(["0001", ")" + A + R"(", "0000000001", "001", 45292, 1e8])",
             u"GetQtdeEfetData: o argumento 6 deve ser uma data de 01/01/1900 a 31/12/9999."_s},
            {u"SetCRFSintDados"_s, packet(R"(["0001", ")" + A + R"(", "Almoço", 2958466, 2, 3, 1])"),
             u"SetCRFSintDados: o argumento 1 deve ser um pacote de dados: a linha 1, campo DTSERV01, deve ser uma "
             "data de 01/01/1900 a 31/12/9999."_s},
            {u"SetCRFSintDados"_s, packet(R"(["0001", ")" + A + R"(", "Almo\u0000ço", 45292, 2, 3, 1])"),
             u"SetCRFSintDados: o argumento 1 deve ser um pacote de dados: a linha 1, campo NMSERVICO, contém o "
             "caractere nulo (U+0000)."_s},
            {u"SetCRFSintDados"_s,
             packet(R"(["0001", ")" + A + R"(", "Refeição especial de fim de x😀", 45292, 2, 2958465.9, 1e300])"),
             {}},
            {u"GetCFRSintServ"_s, R"([])", {}},
            {u"GetCFRSintServ"_s, R"([null])", u"GetCFRSintServ: espera 0 argumento(s), recebeu 1."_s},
            {u"GetQtdeEfetServ"_s, R"(["0001", ")" + A + R"(", "0000000002", 2958466, 2958466])",
             u"GetQtdeEfetServ: o argumento 4 deve ser uma data de 01/01/1900 a 31/12/9999."_s},
            {u"GetQtdeEfetServ"_s, R"(["0001", ")" + A + R"(", "0000000002", 2, 2958465])", {}},
            {u"GetSequencial"_s, R"([2958465, "0001", "", ")" + A + R"(", "", "2"])", {}},
            {u"GetSequencial"_s, R"([1e300, "0001", "", ")" + A + R"(", "", "1"])",
             u"GetSequencial: o argumento 1 deve ser uma data de 01/01/1900 a 31/12/9999."_s},
            {u"DelCRFSintDados"_s, R"(["0001", ")" + A + R"(\u0000"])",
             u"DelCRFSintDados: o argumento 2 contém o caractere nulo (U+0000)."_s},
            {u"ProDelTableRelApur"_s, R"(["0001", ")" + A + R"(\ufffd"])",
             u"ProDelTableRelApur: o argumento 2 contém o caractere de substituição (U+FFFD), sinal de um texto mal "
             "convertido."_s},
            {u"clientesComDados"_s, R"(["0001", ")" + A + R"(", 2, 2958465, "T"])", {}},
            {u"EmailFilial"_s, R"(["0001\udc00"])",
             u"EmailFilial: o argumento 1 contém um caractere inválido (U+DC00 sem par)."_s},
            {u"EmailFilial"_s, R"(["0001"])", {}},
            {u"ReservaEnvio"_s,
             R"(["0001", 2, 2958465, "08", "0000000001", "impressão", "c1@cliente.example", "estação 1", ""])",
             {}},
            {u"ReservaEnvio"_s, R"(["0001", 45292, 2958466, "08", "0000000001", "i", "", "estação 1", ""])",
             u"ReservaEnvio: o argumento 3 deve ser uma data de 01/01/1900 a 31/12/9999."_s},
            {u"ConcluiEnvio"_s, R"(["x\u0000", "S", ""])",
             u"ConcluiEnvio: o argumento 1 contém o caractere nulo (U+0000)."_s},
            {u"SituacaoEnvios"_s, R"(["0001", 2, 2958465, "08"])", {}},
            {u"SituacaoEnvios"_s, R"(["0001", 2, 2958465, "\u0000"])",
             u"SituacaoEnvios: o argumento 4 contém o caractere nulo (U+0000)."_s},
        };
        QStringList methods;
        for (const auto &c : cases) {
            const QByteArray body = callBody(c.method, c.args);
            const Reply lite = post(*m_sides[0].server, body);
            const Reply pg = post(*m_sides[1].server, body);
            const QString what = c.method + u' ' + QString::fromUtf8(c.args);
            QVERIFY2(lite.status != 0 && pg.status != 0, qPrintable(what));
            QVERIFY2(lite.status == pg.status && lite.body == pg.body,
                     qPrintable(what + u"\nSQLite: "_s + QString::fromUtf8(QJsonDocument(lite.body).toJson())
                                + u"PostgreSQL: "_s + QString::fromUtf8(QJsonDocument(pg.body).toJson())));
            const QString error = lite.body.value(u"error"_s).toString();
            if (c.error.isEmpty()) {
                QVERIFY2(lite.body.value(u"ok"_s).toBool(), qPrintable(what + u": "_s + error));
            } else if (c.error == badJson) {
                QCOMPARE(lite.status, 400);
                QVERIFY2(error.startsWith(badJson), qPrintable(error));
            } else {
                QCOMPARE(lite.status, 200);
                QCOMPARE(error, c.error);
            }
            if (!methods.contains(c.method))
                methods.append(c.method);
        }
        QCOMPARE(methods.size(), 19); // every method of the module has its edge case
        qInfo("%d edge calls, the same answers on SQLite and PostgreSQL", int(std::size(cases)));

        // The refused run past 9999 left the rows of the accepted one (every meal of the
        // branch), and both databases hold the same rows.
        for (Side &side : m_sides)
            QCOMPARE(count(side, u"NRAPURACGD = ?"_s, {a}), kClients * (31 + 15));
        const QString apuration =
            u"SELECT CDCLIENTEAPGD, CDSERVFILIAPGD, DTAPURACFATGD, NREFETIVOSAPGD, VRPRECUNITAPGD "
            "FROM APURFATGD WHERE NRAPURACGD = ? ORDER BY 1, 2, 3"_s;
        const QString statement = u"SELECT NRLINHA, NMSERVICO, DTSERV01, DTINICIAL, DTFINAL, QTSERV01 FROM CFRSINTDATA "
                                  "WHERE NRAPURACGD = ? ORDER BY NRLINHA"_s;
        const QString sequence = u"SELECT CDCLIENTE, DTQUINZENA, NRSEQCFR FROM SEQCFR ORDER BY 1, 2"_s;
        const QString sent = u"SELECT CDFILIAL, DTINICIAL, DTFINAL, NRLAYOUT, CDCLIENTE, DSIMPRESSAO, IDSITUACAO, "
                             "NMESTACAO, DSEMAIL FROM ENVIOCFR ORDER BY CDCLIENTE"_s;
        QCOMPARE(rows(m_sides[0], apuration, {a}), rows(m_sides[1], apuration, {a}));
        const auto stored = rows(m_sides[0], statement, {a});
        QCOMPARE(stored, rows(m_sides[1], statement, {a}));
        // Cut to the column's 30 UTF-16 units without splitting the pair of the last character.
        QCOMPARE(stored, (QList<QStringList>{{u"1"_s, u"Refeição especial de fim de x"_s, u"2024-01-01"_s,
                                              u"1900-01-01"_s, u"9999-12-31"_s, u"1e+300"_s}}));
        const auto numbered = rows(m_sides[0], sequence);
        QCOMPARE(numbered, rows(m_sides[1], sequence));
        QCOMPARE(numbered.size(), kClients);
        QCOMPARE(numbered.first().at(1), u"9999-12-16"_s);
        QCOMPARE(rows(m_sides[0], sent), rows(m_sides[1], sent));
#endif
    }

    // Two runs of one number at once, over two periods: the rows left are one period's,
    // never both. On PostgreSQL the apuration's row lock orders them; on SQLite the writer
    // lock does.
    void concurrentRunsOfOneNumberLeaveOnePeriod()
    {
#ifndef Q_MOC_RUN // moc cannot read the raw JSON strings below
        constexpr int rounds = 30;
        const int firstHalf = kClients * (15 + 7), secondHalf = kClients * (16 + 8);
        for (Side &side : m_sides) {
            int unions = 0, first = 0, second = 0;
            QStringList failures;
            for (int round = 0; round < rounds; ++round) {
                const QString a = issue(side);
                QVERIFY(!a.isEmpty());
                const QByteArray periods[2] = {R"(["0001", 45292, 45306, ")" + a.toUtf8() + R"(", ""])",
                                               R"(["0001", 45307, 45322, ")" + a.toUtf8() + R"(", ""])"};
                std::latch go(2);
                Reply replies[2];
                std::thread runs[2];
                for (int t = 0; t < 2; ++t) {
                    runs[t] = std::thread([&, t] {
                        go.arrive_and_wait();
                        replies[t] = post(*side.server, callBody(u"ProRelGesDireta"_s, periods[t]));
                    });
                }
                for (std::thread &t : runs)
                    t.join();
                for (const Reply &r : replies) {
                    if (!r.body.value(u"ok"_s).toBool())
                        failures.append(r.body.value(u"error"_s).toString());
                }
                const int early = count(side, u"NRAPURACGD = ? AND DTAPURACFATGD <= '2024-01-15'"_s, {a});
                const int late = count(side, u"NRAPURACGD = ? AND DTAPURACFATGD > '2024-01-15'"_s, {a});
                if (early == firstHalf && late == 0)
                    ++first;
                else if (early == 0 && late == secondHalf)
                    ++second;
                else
                    ++unions;
            }
            qInfo("%s: %d rounds, %d left the first period, %d the second, %d a mix", qPrintable(name(side)), rounds,
                  first, second, unions);
            QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u'\n')));
            QCOMPARE(unions, 0);
        }
#endif
    }

    // Two statements stored under one number at once: one of them is left, whole.
    void concurrentStatementsOfOneNumberLeaveOne()
    {
#ifndef Q_MOC_RUN // moc cannot read the raw JSON strings below
        for (Side &side : m_sides) {
            const QString a = issue(side);
            auto packet = [&](int lines) {
                QByteArray rowsJson;
                for (int i = 0; i < lines; ++i)
                    rowsJson += QByteArray(i ? ", " : "") + R"(["0001", ")" + a.toUtf8() + R"(", )"
                                + QByteArray::number(i) + "]";
                return R"([{"fields": [{"name": "CDFILIAL"}, {"name": "NRAPURACGD"}, {"name": "QTSERV01"}], "rows": [)"
                       + rowsJson + "]}]";
            };
            for (int round = 0; round < 10; ++round) {
                const QByteArray packets[2] = {packet(200), packet(300)};
                std::latch go(2);
                Reply replies[2];
                std::thread runs[2];
                for (int t = 0; t < 2; ++t) {
                    runs[t] = std::thread([&, t] {
                        go.arrive_and_wait();
                        replies[t] = post(*side.server, callBody(u"SetCRFSintDados"_s, packets[t]));
                    });
                }
                for (std::thread &t : runs)
                    t.join();
                for (const Reply &r : replies)
                    QVERIFY2(r.body.value(u"ok"_s).toBool(), qPrintable(r.body.value(u"error"_s).toString()));
                const auto n = rows(side, u"SELECT COUNT(*) FROM CFRSINTDATA WHERE NRAPURACGD = ?"_s, {a});
                QVERIFY2(n.first().first() == u"200"_s || n.first().first() == u"300"_s,
                         qPrintable(name(side) + u": "_s + n.first().first()));
            }
        }
#endif
    }

    // A database failure: the caller gets the method's name only; the server's log gets
    // the method, the driver's text and the statement, and no argument value.
    void databaseFailureDetailGoesToTheLogOnly()
    {
        const QString secret = u"segredo-4f9c"_s;
        for (Side &side : m_sides) {
            QVERIFY(direct(side.db, u"ALTER TABLE CFRSINTDATA RENAME TO CFRSINTDATA_FORA"_s));
            const Reply r =
                post(*side.server, callBody(u"DelCRFSintDados"_s, "[\"0001\", \"" + secret.toUtf8() + "\"]"));
            QVERIFY(direct(side.db, u"ALTER TABLE CFRSINTDATA_FORA RENAME TO CFRSINTDATA"_s));
            QCOMPARE(r.status, 200);
            QCOMPARE(r.body,
                     (QJsonObject{{u"ok"_s, false}, {u"error"_s, u"Erro no banco de dados em DelCRFSintDados."_s}}));
            const Status stopped = side.server->stop();
            QVERIFY2(stopped, qPrintable(stopped.error()));
            const QString log = side.server->stderrText();
            const QString line =
                log.section(u"kpr-appserver: erro no banco de dados em DelCRFSintDados: "_s, 1).section(u'\n', 0, 0);
            QVERIFY2(!line.isEmpty(), qPrintable(name(side) + u" log: "_s + log));
            QVERIFY2(line.contains(u"cfrsintdata"_s, Qt::CaseInsensitive), qPrintable(line)); // the driver's text
            QVERIFY2(line.contains(u"DELETE FROM CFRSINTDATA WHERE CDFILIAL = ? AND NRAPURACGD = ?"_s),
                     qPrintable(line));
            QVERIFY2(!log.contains(secret), qPrintable(log));
        }
    }

    // The database file, its WAL files and the trace are the owner's alone, whatever the
    // umask the server was started with.
    void createdFilesAreTheOwnersOnly()
    {
#ifndef Q_MOC_RUN // moc cannot read the raw JSON strings below
        const mode_t previous = ::umask(022);
        AppServerProcess server(QString::fromUtf8(KPR_APPSERVER_EXE));
        const QString path = m_dir.filePath(u"private.db"_s);
        const Status up = server.start(u"sqlite:"_s + path);
        ::umask(previous);
        QVERIFY2(up, qPrintable(up.error()));
        const Reply r = post(server, callBody(u"GetClieFili"_s, R"(["0001"])"));
        QVERIFY(r.body.value(u"ok"_s).toBool());
        for (const QString &file : {path, path + u"-wal"_s, path + u"-shm"_s, server.traceFile()}) {
            struct stat st
            {};
            QVERIFY2(::stat(QFile::encodeName(file).constData(), &st) == 0, qPrintable(file));
            QVERIFY2((st.st_mode & 0777) == 0600, qPrintable(u"%1: %2"_s.arg(file).arg(st.st_mode & 0777, 0, 8)));
        }
        QVERIFY(server.stop());
#endif
    }

    // No password in --db: libpq reads it from PGPASSWORD or a password file (PGPASSFILE),
    // with QtSql passing none of its own.
    void databasePasswordComesFromTheEnvironment()
    {
        Side &pg = m_sides[1];
        QVERIFY(direct(pg.db, u"ALTER ROLE kpr PASSWORD 'senha-do-banco'"_s));
        const Status hba = m_pg->requirePasswords();
        QVERIFY2(hba, qPrintable(hba.error()));
        const QString passFile = m_dir.filePath(u"pgpass"_s);
        {
            QFile f(passFile);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(u"127.0.0.1:%1:kpr_edges:kpr:senha-do-banco\n"_s.arg(m_pg->port()).toUtf8());
            f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        }
        auto check = [&](const QList<std::pair<QString, QString>> &env, const QString &url) {
            QProcess p;
            QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
            e.remove(u"PGPASSWORD"_s);
            e.insert(u"PGPASSFILE"_s, m_dir.filePath(u"nenhum"_s));
            for (const auto &[k, v] : env)
                e.insert(k, v);
            p.setProcessEnvironment(e);
            p.start(QString::fromUtf8(KPR_APPSERVER_EXE), {u"--db"_s, url, u"--no-serve"_s});
            p.waitForFinished(60000);
            return std::pair{p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
        };
        const QString url = pg.url;
        const auto none = check({}, url);
        QCOMPARE(none.first, 1); // the server asks for a password that nobody gave
        const auto fromEnv = check({{u"PGPASSWORD"_s, u"senha-do-banco"_s}}, url);
        QVERIFY2(fromEnv.first == 0, qPrintable(fromEnv.second));
        const auto fromFile = check({{u"PGPASSFILE"_s, passFile}}, url);
        QVERIFY2(fromFile.first == 0, qPrintable(fromFile.second));
        // In the URL it is refused before anything connects, without being repeated.
        QString withPassword = url;
        withPassword.replace(u"//kpr@"_s, u"//kpr:senha-do-banco@"_s);
        const auto inUrl = check({}, withPassword);
        QCOMPARE(inUrl.first, 2);
        QVERIFY2(inUrl.second.contains(u"PGPASSWORD"_s), qPrintable(inUrl.second));
        QVERIFY2(!inUrl.second.contains(u"senha-do-banco"_s), qPrintable(inUrl.second));
    }
};

QTEST_GUILESS_MAIN(TstAppServerEdges)
#include "tst_appserver_edges.moc"
