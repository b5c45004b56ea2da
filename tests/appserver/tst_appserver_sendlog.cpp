// The send log's methods called in-process on a throw-away SQLite database: every state of
// a statement against every "reenviar" value, the conclusion of a claim and its refusals,
// and the refusals of bad arguments. The same methods against the real server process, on
// both databases and under concurrent workstations, are in tests/appserver_e2e.

#include "appserver/database/session.h"
#include "appserver/rdmcfr/methodtable.h"
#include "appserver/schema/migrate.h"
#include "framework/core/dates.h"
#include "framework/db/databaseurl.h"

#include <QJsonObject>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::appserver;
using namespace kpr::appserver::rdmcfr;

namespace {

const double kStart = toDayNumber(QDate(2024, 1, 1));
const double kEnd = toDayNumber(QDate(2024, 1, 15));

// The one row of a ReservaEnvio answer, by field name.
QJsonValue field(const CallOutcome &r, const QString &name)
{
    const QJsonObject p = r.result().toObject();
    const QJsonArray fields = p.value(u"fields"_s).toArray();
    for (qsizetype i = 0; i < fields.size(); ++i)
        if (fields.at(i).toObject().value(u"name"_s).toString() == name)
            return p.value(u"rows"_s).toArray().at(0).toArray().at(i);
    return QJsonValue::Undefined;
}

QJsonArray claimArgs(const QString &client, const QString &station, const QString &again)
{
    return {u"0001"_s, kStart, kEnd, u"01"_s, client, u"f1"_s, u"a@x.example"_s, station, again};
}

} // namespace

class TestAppServerSendLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void claimByStateAndResend_data();
    void claimByStateAndResend();
    void concludeRefusals();
    void badArguments_data();
    void badArguments();

private:
    // One row of the database on a connection of its own.
    QVariantList row(const QString &sql, const QVariantList &values = {});
    // Brings a new statement of client into state ("" none, or E, S, F); its token.
    QString prepare(const QString &client, const QString &state);

    QTemporaryDir m_dir;
    QString m_url;
};

void TestAppServerSendLog::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_url = u"sqlite:"_s + m_dir.filePath(u"sendlog.db"_s);
    {
        auto db = openDatabase(m_url, u"setup"_s);
        QVERIFY2(db, qPrintable(db.error()));
        const auto migrated = migrate(db.value());
        QVERIFY2(migrated, qPrintable(migrated.error()));
        db.value().close();
    }
    QSqlDatabase::removeDatabase(u"setup"_s);
    Session::configure(*DatabaseUrl::parse(m_url));
}

void TestAppServerSendLog::cleanupTestCase()
{
    releaseThisThreadSession();
}

QVariantList TestAppServerSendLog::row(const QString &sql, const QVariantList &values)
{
    QVariantList out;
    {
        auto db = openDatabase(m_url, u"check"_s);
        QSqlQuery q(db.value());
        q.prepare(sql);
        for (const QVariant &v : values)
            q.addBindValue(v);
        if (q.exec() && q.next())
            for (int i = 0; i < q.record().count(); ++i)
                out << q.value(i);
        q.finish();
        db.value().close();
    }
    QSqlDatabase::removeDatabase(u"check"_s);
    return out;
}

QString TestAppServerSendLog::prepare(const QString &client, const QString &state)
{
    if (state.isEmpty())
        return {};
    const CallOutcome claimed = callMethod(u"ReservaEnvio"_s, claimArgs(client, u"WS-A"_s, u""_s));
    if (!claimed.ok || field(claimed, u"IDRESULTADO"_s).toString() != u"R"_s)
        return {};
    const QString token = field(claimed, u"CDRESERVA"_s).toString();
    if (state != u"E"_s && !callMethod(u"ConcluiEnvio"_s, {token, state, u"250 ok"_s}).ok)
        return {};
    return token;
}

void TestAppServerSendLog::claimByStateAndResend_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("again");
    QTest::addColumn<QString>("answer");
    // Which claims are taken: a new or failed statement always, a sent one when sending
    // again, one being sent only when forcing (forcing never resends a sent one).
    const auto taken = [](const QString &state, const QString &again) {
        return state.isEmpty() || state == u"F"_s || (state == u"E"_s && again == u"F"_s)
               || (state == u"S"_s && again == u"S"_s);
    };
    for (const QString &state : {u""_s, u"E"_s, u"S"_s, u"F"_s})
        for (const QString &again : {u""_s, u"N"_s, u"S"_s, u"F"_s})
            QTest::addRow("state '%s' reenviar '%s'", qPrintable(state), qPrintable(again))
                << state << again << (taken(state, again) ? u"R"_s : state);
}

void TestAppServerSendLog::claimByStateAndResend()
{
    QFETCH(QString, state);
    QFETCH(QString, again);
    QFETCH(QString, answer);
    const QString client = u"C-%1-%2"_s.arg(state, again);
    const QString before = prepare(client, state);
    QCOMPARE(before.isEmpty(), state.isEmpty());
    const QDateTime now = QDateTime::currentDateTime();

    const CallOutcome r = callMethod(u"ReservaEnvio"_s, claimArgs(client, u"WS-B"_s, again));
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(field(r, u"IDRESULTADO"_s).toString(), answer);
    const QString key = u"CDCLIENTE = ?"_s;
    const QVariantList stored = row(u"SELECT IDSITUACAO, CDRESERVA, NMESTACAO FROM ENVIOCFR WHERE "_s + key, {client});
    const QVariantList open = row(u"SELECT COUNT(*) FROM ENVIOCFRLOG WHERE IDSITUACAO = 'E' AND "_s + key, {client});
    const QVariantList attempts = row(u"SELECT COUNT(*) FROM ENVIOCFRLOG WHERE "_s + key, {client});
    const int earlier = state.isEmpty() ? 0 : 1;
    if (answer == u"R"_s) {
        const QString token = field(r, u"CDRESERVA"_s).toString();
        QCOMPARE(token.size(), 36);
        QVERIFY(token != before);
        QCOMPARE(field(r, u"NMESTACAO"_s).toString(), u"WS-B"_s);
        QCOMPARE(stored, (QVariantList{u"E"_s, token, u"WS-B"_s}));
        QCOMPARE(attempts.value(0).toInt(), earlier + 1);
    } else {
        // Refused: the holder's workstation and time, never its token; nothing changes.
        QVERIFY(field(r, u"CDRESERVA"_s).isNull());
        QCOMPARE(field(r, u"NMESTACAO"_s).toString(), u"WS-A"_s);
        QCOMPARE(field(r, u"DSRESPOSTA"_s).toString(), state == u"S"_s ? u"250 ok"_s : QString());
        QCOMPARE(stored, (QVariantList{state, before, u"WS-A"_s}));
        QCOMPARE(attempts.value(0).toInt(), earlier);
    }
    // The time carries the time of day, not only the date.
    QVERIFY(std::abs(field(r, u"DTHRSITUACAO"_s).toDouble() - toDayNumber(now)) < 1.0 / 1440);
    // Exactly one attempt stays open while the statement is being sent; a forced claim
    // closed the one it replaced.
    QCOMPARE(open.value(0).toInt(), stored.value(0) == u"E"_s ? 1 : 0);
}

void TestAppServerSendLog::concludeRefusals()
{
    const QString first = prepare(u"K1"_s, u"E"_s);
    // Forced over: the first token no longer holds the statement.
    const CallOutcome forced = callMethod(u"ReservaEnvio"_s, claimArgs(u"K1"_s, u"WS-B"_s, u"F"_s));
    const QString second = field(forced, u"CDRESERVA"_s).toString();
    QVERIFY(!second.isEmpty());

    const CallOutcome stale = callMethod(u"ConcluiEnvio"_s, {first, u"S"_s, u"250 ok"_s});
    QVERIFY(!stale.ok);
    QCOMPARE(stale.error,
             u"A reserva %1 não vale mais: o extrato foi reservado de novo por outra estação."_s.arg(first));
    QCOMPARE(
        row(u"SELECT IDSITUACAO, DSRESPOSTA FROM ENVIOCFRLOG WHERE CDRESERVA = ?"_s, {first}),
        (QVariantList{u"F"_s,
                      u"Reserva assumida à força pela estação WS-B; o resultado desta tentativa é desconhecido."_s}));

    const CallOutcome done = callMethod(u"ConcluiEnvio"_s, {second, u"F"_s, u"550 caixa inexistente"_s});
    QVERIFY2(done.ok, qPrintable(done.error));
    QCOMPARE(row(u"SELECT IDSITUACAO, DSRESPOSTA FROM ENVIOCFR WHERE CDRESERVA = ?"_s, {second}),
             (QVariantList{u"F"_s, u"550 caixa inexistente"_s}));
    QCOMPARE(row(u"SELECT IDSITUACAO, DTHRFIM IS NOT NULL FROM ENVIOCFRLOG WHERE CDRESERVA = ?"_s, {second}),
             (QVariantList{u"F"_s, 1}));

    const CallOutcome twice = callMethod(u"ConcluiEnvio"_s, {second, u"S"_s, u""_s});
    QCOMPARE(twice.error, u"A reserva %1 já foi concluída."_s.arg(second));
    QCOMPARE(row(u"SELECT IDSITUACAO FROM ENVIOCFR WHERE CDRESERVA = ?"_s, {second}), QVariantList{u"F"_s});
    QCOMPARE(callMethod(u"ConcluiEnvio"_s, {u"nada"_s, u"S"_s, u""_s}).error, u"Reserva nada desconhecida."_s);
}

void TestAppServerSendLog::badArguments_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QJsonArray>("args");
    QTest::addColumn<QString>("error");
    const auto claim = [](int position, const QJsonValue &value) {
        QJsonArray a = claimArgs(u"0001"_s, u"WS"_s, u""_s);
        a[position - 1] = value;
        return a;
    };
    const QString r = u"ReservaEnvio"_s, c = u"ConcluiEnvio"_s;
    QTest::newRow("branch empty") << r << claim(1, u""_s) << u"Código da filial não informado."_s;
    QTest::newRow("branch long") << r << claim(1, u"00001"_s)
                                 << u"O código da filial excede o limite de 4 caracteres (tem 5)."_s;
    QTest::newRow("end before start") << r << claim(3, kStart - 1)
                                      << u"Data final 31/12/2023 anterior à data inicial 01/01/2024."_s;
    QTest::newRow("layout long") << r << claim(4, u"KPR01"_s) << u"O layout excede o limite de 4 caracteres (tem 5)."_s;
    QTest::newRow("client empty") << r << claim(5, u""_s) << u"Código do cliente não informado."_s;
    QTest::newRow("client long") << r << claim(5, QString(22, u'9'))
                                 << u"O código do cliente excede o limite de 21 caracteres (tem 22)."_s;
    QTest::newRow("fingerprint empty") << r << claim(6, u""_s) << u"Impressão do extrato não informada."_s;
    QTest::newRow("fingerprint long") << r << claim(6, QString(65, u'f'))
                                      << u"A impressão do extrato excede o limite de 64 caracteres (tem 65)."_s;
    QTest::newRow("addresses long") << r << claim(7, QString(4001, u'a'))
                                    << u"A lista de e-mails excede o limite de 4000 caracteres (tem 4001)."_s;
    QTest::newRow("station empty") << r << claim(8, u""_s) << u"Nome da estação não informado."_s;
    // Characters, not UTF-16 units: 100 characters outside the basic plane fit.
    QString wide;
    for (int i = 0; i < 101; ++i)
        wide += QString::fromUcs4(U"\U0001F4E7", 1);
    QTest::newRow("station long") << r << claim(8, wide)
                                  << u"O nome da estação excede o limite de 100 caracteres (tem 101)."_s;
    QTest::newRow("reenviar lower case") << r << claim(9, u"s"_s)
                                         << u"Reenviar \"s\" inválido: deve ser \"N\", \"S\" ou \"F\"."_s;
    QTest::newRow("date as text") << r << claim(2, u"01/01/2024"_s)
                                  << u"ReservaEnvio: o argumento 2 deve ser uma data (número de dias)."_s;
    QTest::newRow("token empty") << c << QJsonArray{u""_s, u"S"_s, u""_s} << u"Reserva não informada."_s;
    QTest::newRow("situacao E") << c << QJsonArray{u"t"_s, u"E"_s, u""_s}
                                << u"Situação \"E\" inválida: deve ser \"S\" (enviado) ou \"F\" (falhou)."_s;
    QTest::newRow("reply long") << c << QJsonArray{u"t"_s, u"F"_s, QString(1001, u'x')}
                                << u"A resposta do envio excede o limite de 1000 caracteres (tem 1001)."_s;
    QTest::newRow("status too few") << u"SituacaoEnvios"_s << QJsonArray{u"0001"_s}
                                    << u"SituacaoEnvios: espera 4 argumento(s), recebeu 1."_s;
}

void TestAppServerSendLog::badArguments()
{
    QFETCH(QString, method);
    QFETCH(QJsonArray, args);
    QFETCH(QString, error);
    const QVariantList before = row(u"SELECT COUNT(*) FROM ENVIOCFR"_s);
    const CallOutcome r = callMethod(method, args);
    QVERIFY(!r.ok);
    QCOMPARE(r.error, error);
    QCOMPARE(row(u"SELECT COUNT(*) FROM ENVIOCFR"_s), before);
}

QTEST_GUILESS_MAIN(TestAppServerSendLog)
#include "tst_appserver_sendlog.moc"
