// kpr-appserver as its clients see it: the real process on a free loopback port, requests
// from a kept-alive httplib client, rows of (request, expected status, expected answer),
// bad inputs included. After the bad ones the server still serves and no row changed.

#include "framework/db/databaseurl.h"
#include "tests/support/appserverprocess.h"

#include <httplib.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::test;

namespace {

const char *const kPath = "/rpc/Kpr04700.rdmCFR";

QByteArray rpc(const QString &method, const QJsonArray &args)
{
    return QJsonDocument(QJsonObject{{u"method"_s, method}, {u"args"_s, args}}).toJson(QJsonDocument::Compact);
}

} // namespace

class TestAppServerTransport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void requests_data();
    void requests();
    void otherHttpMethods();
    void oversizeBody();
    void stillServingAndNothingChanged();
    void traceInOrder();
    void moreClientsThanWorkers();
    void stopsOnSigtermWithIdleConnection();

private:
    QString snapshot();
    httplib::Result post(const std::string &path, const QByteArray &body);

    QTemporaryDir m_dir;
    QString m_url;
    AppServerProcess m_server{QStringLiteral(KPR_APPSERVER_EXE)};
    std::unique_ptr<httplib::Client> m_client;
    QString m_before;
    int m_dispatched = 0; // calls that reached the method table, for the trace
    QStringList m_tracedMethods;
};

void TestAppServerTransport::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_url = u"sqlite:"_s + m_dir.filePath(u"transport.db"_s);
    const auto init = AppServerProcess::initDatabase(QStringLiteral(KPR_APPSERVER_EXE), m_url);
    QVERIFY2(init, qPrintable(init.error()));
    {
        auto db = openDatabase(m_url, u"fill"_s);
        QVERIFY2(db, qPrintable(db.error()));
        QSqlQuery q(*db);
        for (
            const QString &sql : {
                u"INSERT INTO FILIAL (CDFILIAL, NMFILIAL, DTPROCFILI) VALUES ('0001', 'Centro', '2024-03-01')"_s,
                u"INSERT INTO CLIENTE (CDCLIENTE, IDTPIJURCLIE, NRINSJURCLIE, NMRAZSOCCLIE) VALUES ('0001', 'J', '1', 'Alfa')"_s,
                u"INSERT INTO CLIEFILI VALUES ('0001', '0001')"_s,
            })
            QVERIFY2(q.exec(sql), qPrintable(sql));
        db.value().close();
    }
    QSqlDatabase::removeDatabase(u"fill"_s);
    const auto started = m_server.start(m_url, {u"--max-body"_s, u"65536"_s});
    QVERIFY2(started, qPrintable(started.error()));
    m_client = std::make_unique<httplib::Client>("127.0.0.1", m_server.port());
    m_client->set_tcp_nodelay(true);
    m_client->set_keep_alive(true);
    m_before = snapshot();
    QVERIFY(!m_before.isEmpty());
}

void TestAppServerTransport::cleanupTestCase()
{
    m_client.reset();
    if (m_server.running())
        m_server.stop();
}

// The row count of every table: what a bad request must leave as it was.
QString TestAppServerTransport::snapshot()
{
    QString s;
    {
        auto db = openDatabase(m_url, u"snapshot"_s);
        if (!db)
            return {};
        QSqlQuery q(*db);
        for (const char *table :
             {"FILIAL", "CLIENTE", "CLIEFILI", "CONTADOR", "APURACAO", "APURFATGD", "CFRSINTDATA", "SEQCFR"}) {
            if (q.exec(u"SELECT COUNT(*) FROM "_s + QLatin1StringView(table)) && q.next())
                s += QLatin1StringView(table) + u'=' + q.value(0).toString() + u' ';
        }
        q.exec(u"SELECT NRULTIMO FROM CONTADOR WHERE NMCONTADOR = 'APURACAO'"_s);
        if (q.next())
            s += u"APURACAO#"_s + q.value(0).toString();
        db.value().close();
    }
    QSqlDatabase::removeDatabase(u"snapshot"_s);
    return s;
}

httplib::Result TestAppServerTransport::post(const std::string &path, const QByteArray &body)
{
    return m_client->Post(path.c_str(), body.constData(), size_t(body.size()), "application/json");
}

void TestAppServerTransport::requests_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("dispatched"); // reached the method table (and the trace)
    QTest::addColumn<QString>("error");   // empty: an ok answer

    QTest::newRow("malformed JSON")
        << QByteArray(kPath) << QByteArray("{\"method\": \"GetClieFili\", \"args\": [") << 400 << false
        << u"Requisição inválida: o corpo não é um JSON válido (unterminated array na posição 35)."_s;
    QTest::newRow("not an object") << QByteArray(kPath) << QByteArray("\"GetClieFili\"") << 400 << false
                                   << u"Requisição inválida: o corpo deve ser um objeto JSON."_s;
    QTest::newRow("no method") << QByteArray(kPath) << QByteArray(R"({"args": ["0001"]})") << 400 << false
                               << u"Requisição inválida: falta o campo \"method\" (texto)."_s;
    QTest::newRow("no args") << QByteArray(kPath) << QByteArray(R"({"method": "GetClieFili"})") << 400 << false
                             << u"Requisição inválida: falta o campo \"args\" (lista)."_s;
    QTest::newRow("unknown module") << QByteArray("/rpc/Kpr04701.rdmOutro") << rpc(u"GetClieFili"_s, {u"0001"_s}) << 404
                                    << false
                                    << u"Módulo \"Kpr04701.rdmOutro\" não encontrado: use POST /rpc/Kpr04700.rdmCFR."_s;
    QTest::newRow("unknown path") << QByteArray("/Kpr04700.rdmCFR") << rpc(u"GetClieFili"_s, {u"0001"_s}) << 404
                                  << false
                                  << u"Caminho \"/Kpr04700.rdmCFR\" não encontrado: use POST /rpc/Kpr04700.rdmCFR."_s;
    QTest::newRow("unknown method") << QByteArray(kPath) << rpc(u"DropTables"_s, {}) << 200 << true
                                    << u"Método \"DropTables\" não existe no módulo Kpr04700.rdmCFR."_s;
    QTest::newRow("wrong count") << QByteArray(kPath) << rpc(u"GetClieFili"_s, {u"0001"_s, u"0002"_s}) << 200 << true
                                 << u"GetClieFili: espera 1 argumento(s), recebeu 2."_s;
    QTest::newRow("wrong type") << QByteArray(kPath) << rpc(u"ProPrxRelApurFat"_s, {1}) << 200 << true
                                << u"ProPrxRelApurFat: o argumento 1 deve ser um texto."_s;
    QTest::newRow("date not a number") << QByteArray(
        kPath) << rpc(u"ProRelGesDireta"_s, {u"0001"_s, 45352, u"45382"_s, u"0000000001"_s, u""_s})
                                       << 200 << true
                                       << u"ProRelGesDireta: o argumento 3 deve ser uma data (número de dias)."_s;
    QTest::newRow("number not issued") << QByteArray(kPath)
                                       << rpc(u"ProRelGesDireta"_s, {u"0001"_s, 45352, 45382, u"0000000001"_s, u""_s})
                                       << 200 << true << u"Apuração 0000000001 não emitida para a filial 0001."_s;
    // Text that looks like SQL is only text: no branch has that code.
    QTest::newRow("SQL in a branch code")
        << QByteArray(kPath) << rpc(u"ProPrxRelApurFat"_s, {u"0001'; DELETE FROM CLIENTE; --"_s}) << 200 << true
        << u"Filial 0001'; DELETE FROM CLIENTE; -- não cadastrada."_s;
    QTest::newRow("SQL in a client list")
        << QByteArray(kPath) << rpc(u"GetClieSelect"_s, {u"0001"_s, u"' OR 1=1 --"_s, u"_0001' OR '1'='1_"_s}) << 200
        << true << QString();
    QTest::newRow("packet with a bad value")
        << QByteArray(kPath)
        << rpc(u"SetCRFSintDados"_s,
               {QJsonObject{{u"fields"_s, QJsonArray{QJsonObject{{u"name"_s, u"CDFILIAL"_s}},
                                                     QJsonObject{{u"name"_s, u"NRAPURACGD"_s}},
                                                     QJsonObject{{u"name"_s, u"DTINICIAL"_s}}}},
                            {u"rows"_s, QJsonArray{QJsonArray{u"0001"_s, u"0000000001"_s, u"01/03/2024"_s}}}}})
        << 200 << true
        << u"SetCRFSintDados: o argumento 1 deve ser um pacote de dados: a linha 1, campo DTINICIAL, deve ser uma data (número de dias)."_s;
    QTest::newRow("good call after the bad ones")
        << QByteArray(kPath) << rpc(u"GetClieFili"_s, {u"0001"_s}) << 200 << true << QString();
}

void TestAppServerTransport::requests()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(bool, dispatched);
    QFETCH(QString, error);
    const auto res = post(path.toStdString(), body);
    QVERIFY2(res, httplib::to_string(res.error()).c_str());
    QCOMPARE(res->status, status);
    QCOMPARE(QString::fromStdString(res->get_header_value("Content-Type")), u"application/json; charset=utf-8"_s);
    const QJsonObject answer = QJsonDocument::fromJson(QByteArray::fromStdString(res->body)).object();
    QCOMPARE(answer.value(u"ok"_s).toBool(), error.isEmpty());
    if (error.isEmpty()) {
        // refs carries every argument back, positionally.
        QCOMPARE(answer.value(u"refs"_s).toArray(), QJsonDocument::fromJson(body).object().value(u"args"_s).toArray());
    } else {
        QCOMPARE(answer.value(u"error"_s).toString(), error);
    }
    if (dispatched) {
        ++m_dispatched;
        m_tracedMethods << QJsonDocument::fromJson(body).object().value(u"method"_s).toString();
    }
}

void TestAppServerTransport::otherHttpMethods()
{
    const auto get = m_client->Get(kPath);
    QVERIFY(get);
    QCOMPARE(get->status, 405);
    QCOMPARE(QJsonDocument::fromJson(QByteArray::fromStdString(get->body)).object().value(u"error"_s).toString(),
             u"Método HTTP não permitido: use POST /rpc/Kpr04700.rdmCFR."_s);
}

void TestAppServerTransport::oversizeBody()
{
    // The server was started with --max-body 65536.
    const QByteArray body = rpc(u"GetClieFili"_s, {QString(70000, u'x')});
    const auto res = post(kPath, body);
    QVERIFY2(res, httplib::to_string(res.error()).c_str());
    QCOMPARE(res->status, 413);
    QCOMPARE(QJsonDocument::fromJson(QByteArray::fromStdString(res->body)).object().value(u"error"_s).toString(),
             u"Requisição grande demais: o limite é de 65536 bytes."_s);
}

void TestAppServerTransport::stillServingAndNothingChanged()
{
    const auto res = post(kPath, rpc(u"GetClieFili"_s, {u"0001"_s}));
    QVERIFY2(res, httplib::to_string(res.error()).c_str());
    QCOMPARE(res->status, 200);
    const QJsonObject answer = QJsonDocument::fromJson(QByteArray::fromStdString(res->body)).object();
    QCOMPARE(answer.value(u"result"_s).toObject().value(u"rows"_s).toArray().size(), 1);
    ++m_dispatched;
    m_tracedMethods << u"GetClieFili"_s;
    QCOMPARE(snapshot(), m_before);
}

void TestAppServerTransport::traceInOrder()
{
    const QList<TracedCall> calls = m_server.trace();
    QStringList methods;
    for (const TracedCall &c : calls)
        methods << c.method;
    QCOMPARE(methods, m_tracedMethods);
    QCOMPARE(int(calls.size()), m_dispatched);
    QVERIFY(!calls.first().ok); // the unknown method
    QVERIFY(calls.last().ok);
    QVERIFY(calls.last().ms >= 0);
}

void TestAppServerTransport::moreClientsThanWorkers()
{
    // 16 workers start up front; 24 clients that all keep their connection alive must all
    // be served (the pool grows) rather than wait for an idle one to time out.
    constexpr int clients = 24, calls = 20;
    std::atomic<int> good{0};
    std::vector<std::unique_ptr<httplib::Client>> held;
    for (int i = 0; i < clients; ++i) {
        held.push_back(std::make_unique<httplib::Client>("127.0.0.1", m_server.port()));
        held.back()->set_keep_alive(true);
        held.back()->set_tcp_nodelay(true);
        held.back()->set_read_timeout(10, 0);
    }
    std::vector<std::thread> threads;
    const QByteArray body = rpc(u"GetCFRSintData"_s, {});
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&, i] {
            for (int k = 0; k < calls; ++k) {
                QElapsedTimer took;
                took.start();
                const auto res = held[i]->Post(kPath, body.constData(), size_t(body.size()), "application/json");
                if (res && res->status == 200)
                    ++good;
                else
                    qWarning("client %d call %d after %lld ms: %s", i, k, took.elapsed(),
                             res ? std::to_string(res->status).c_str() : httplib::to_string(res.error()).c_str());
            }
        });
    }
    for (auto &t : threads)
        t.join();
    QCOMPARE(good.load(), clients * calls);
}

void TestAppServerTransport::stopsOnSigtermWithIdleConnection()
{
    // m_client still holds a kept-alive connection, idle: SIGTERM must not wait for it.
    QVERIFY(post(kPath, rpc(u"GetCFRSintServ"_s, {})));
    QElapsedTimer t;
    t.start();
    const auto stopped = m_server.stop(10000);
    QVERIFY2(stopped, qPrintable(stopped.error()));
    QVERIFY2(t.elapsed() < 5000, qPrintable(u"took %1 ms"_s.arg(t.elapsed())));
}

QTEST_GUILESS_MAIN(TestAppServerTransport)
#include "tst_appserver_transport.moc"
