// Who may call kpr-appserver, and the limits that hold whatever a client sends: the real
// process on free loopback ports, raw requests written byte for byte (rows of request,
// expected status and answer), clients that hold connections idle or trickle, TLS with a
// certificate the test makes, and TNetConnection with WebSecretFile. The pure pieces
// (loopback test, content type, credential, start-up rules) are checked in-process first.

#include "appserver/options.h"
#include "appserver/server/access.h"
#include "framework/db/databaseurl.h"
#include "framework/net/netconnection.h"
#include "framework/settings/context.h"
#include "tests/support/appserverprocess.h"

#include <httplib.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <zlib.h>

#include <chrono>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::test;

namespace {

const QByteArray kCall = R"({"method":"GetCFRSintData","args":[]})";

// One request head for POST /rpc/Kpr04700.rdmCFR with these header lines, then the body;
// Content-Length is added unless a line names Content-Length or Transfer-Encoding.
QByteArray request(const QList<QByteArray> &headers, const QByteArray &body = kCall)
{
    QByteArray out = "POST /rpc/Kpr04700.rdmCFR HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    bool framed = false;
    for (const QByteArray &h : headers) {
        out += h + "\r\n";
        framed = framed || h.toLower().startsWith("content-length:") || h.toLower().startsWith("transfer-encoding:");
    }
    if (!framed)
        out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    return out + "\r\n" + body;
}

QByteArray chunked(const QByteArray &body, int chunk)
{
    QByteArray out;
    for (qsizetype i = 0; i < body.size(); i += chunk) {
        const QByteArray part = body.mid(i, chunk);
        out += QByteArray::number(part.size(), 16) + "\r\n" + part + "\r\n";
    }
    return out + "0\r\n\r\n";
}

QByteArray gzip(const QByteArray &data)
{
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&z, uLong(data.size()))) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(qsizetype(z.total_out));
    deflateEnd(&z);
    return out;
}

int connectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(quint16(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

struct Reply
{
    int status = 0;
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
    qint64 ms = 0;
    int interim = 0; // "100 Continue" answers before the final one

    QString error() const { return QJsonDocument::fromJson(body).object().value(u"error"_s).toString(); }
};

// Writes request on fd while reading one answer (the server may answer before it has read
// everything, as it must for bodies over the limit); gives up after timeoutMs.
Reply exchangeOn(int fd, const QByteArray &req, int timeoutMs)
{
    Reply reply;
    QElapsedTimer clock;
    clock.start();
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    qsizetype sent = 0;
    bool sending = true;
    QByteArray in;
    qsizetype headEnd = -1;
    qint64 wanted = -1;
    while (clock.elapsed() < timeoutMs) {
        pollfd p{fd, short(POLLIN | (sending && sent < req.size() ? POLLOUT : 0)), 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        if ((p.revents & POLLOUT) && sending) {
            const ssize_t n =
                ::send(fd, req.constData() + sent, size_t(std::min<qsizetype>(req.size() - sent, 65536)), MSG_NOSIGNAL);
            if (n > 0)
                sent += n;
            else
                sending = false; // the server stopped reading: its answer is what counts
        }
        if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
            char buf[65536];
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            in.append(buf, n);
            // An interim answer ("100 Continue") is passed over.
            while (headEnd < 0 && (headEnd = in.indexOf("\r\n\r\n")) >= 0 && in.startsWith("HTTP/1.1 1")) {
                in.remove(0, headEnd + 4);
                headEnd = -1;
                ++reply.interim;
            }
            if (headEnd >= 0 && reply.status == 0) {
                const QList<QByteArray> lines = in.left(headEnd).split('\n');
                reply.status = lines.value(0).split(' ').value(1).toInt();
                for (const QByteArray &line : lines.mid(1)) {
                    const qsizetype colon = line.indexOf(':');
                    reply.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
                }
                wanted = reply.headers.value("content-length", "-1").toLongLong();
            }
            if (headEnd >= 0 && wanted >= 0 && in.size() - headEnd - 4 >= wanted)
                break;
        }
    }
    if (headEnd >= 0)
        reply.body = in.mid(headEnd + 4);
    reply.ms = clock.elapsed();
    return reply;
}

Reply exchange(int port, const QByteArray &req, int timeoutMs = 10000)
{
    const int fd = connectTo(port);
    if (fd < 0)
        return {};
    Reply r = exchangeOn(fd, req, timeoutMs);
    ::close(fd);
    return r;
}

// The peak resident memory of a process, in MiB (VmHWM of /proc/PID/status).
qint64 peakMemoryMiB(qint64 pid)
{
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() / 1024;
    return -1;
}

bool runOpenssl(const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(u"openssl"_s, args);
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        qWarning("openssl %s: %s", qPrintable(args.join(u' ')), p.readAll().constData());
        return false;
    }
    return true;
}

} // namespace

class TestAppServerAccess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void loopbackHosts_data();
    void loopbackHosts();
    void contentTypes_data();
    void contentTypes();
    void credential_data();
    void credential();
    void startRules_data();
    void startRules();
    void contextValues();

    void calls_data();
    void calls();
    void bodiesCountedAsReceived_data();
    void bodiesCountedAsReceived();
    void trickleCutWhileOthersServed();
    void connectionLimits_data();
    void connectionLimits();
    void idleConnectionsMakeRoom();
    void refusesToStart_data();
    void refusesToStart();
    void initDbCreatesSecret();
    void clientCredential_data();
    void clientCredential();
    void tls_data();
    void tls();

private:
    QTemporaryDir m_dir;
    QString m_url;
    AppServerProcess m_guarded{QStringLiteral(KPR_APPSERVER_EXE)};
    QByteArray m_bearer;
};

void TestAppServerAccess::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_url = u"sqlite:"_s + m_dir.filePath(u"access.db"_s);
    const auto init = AppServerProcess::initDatabase(QStringLiteral(KPR_APPSERVER_EXE), m_url);
    QVERIFY2(init, qPrintable(init.error()));
    m_guarded.setUseSecret(true);
    const auto started = m_guarded.start(m_url, {u"--max-body"_s, u"1048576"_s, u"--request-timeout"_s, u"2"_s});
    QVERIFY2(started, qPrintable(started.error()));
    QCOMPARE(m_guarded.secret().size(), 64);
    m_bearer = "Authorization: Bearer " + m_guarded.secret();
}

void TestAppServerAccess::cleanupTestCase()
{
    if (m_guarded.running()) {
        const auto stopped = m_guarded.stop();
        QVERIFY2(stopped, qPrintable(stopped.error()));
    }
}

void TestAppServerAccess::loopbackHosts_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("loopback");
    QTest::newRow("127.0.0.1") << u"127.0.0.1"_s << true;
    QTest::newRow("127.8.9.10") << u"127.8.9.10"_s << true;
    QTest::newRow("::1") << u"::1"_s << true;
    QTest::newRow("[::1]") << u"[::1]"_s << true;
    QTest::newRow("v4-mapped loopback") << u"::ffff:127.0.0.1"_s << true;
    QTest::newRow("localhost") << u"LocalHost"_s << true;
    QTest::newRow("any IPv4") << u"0.0.0.0"_s << false;
    QTest::newRow("any IPv6") << u"::"_s << false;
    QTest::newRow("private address") << u"192.168.0.10"_s << false;
    QTest::newRow("128.0.0.1") << u"128.0.0.1"_s << false;
    QTest::newRow("a name") << u"servidor.example.com"_s << false;
    QTest::newRow("localhost lookalike") << u"localhost.example.com"_s << false;
}

void TestAppServerAccess::loopbackHosts()
{
    QFETCH(QString, host);
    QFETCH(bool, loopback);
    QCOMPARE(appserver::isLoopbackHost(host), loopback);
}

void TestAppServerAccess::contentTypes_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("plain json") << QByteArray("application/json") << true;
    QTest::newRow("with charset") << QByteArray("application/json; charset=utf-8") << true;
    QTest::newRow("letter case") << QByteArray("Application/JSON;charset=UTF-8") << true;
    QTest::newRow("blanks") << QByteArray("  application/json  ") << true;
    QTest::newRow("text/plain") << QByteArray("text/plain") << false;
    QTest::newRow("form") << QByteArray("application/x-www-form-urlencoded") << false;
    QTest::newRow("json prefix") << QByteArray("application/jsonp") << false;
    QTest::newRow("none") << QByteArray() << false;
}

void TestAppServerAccess::contentTypes()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, accepted);
    QCOMPARE(appserver::isJsonContentType(std::string_view(value.constData(), size_t(value.size()))), accepted);
}

void TestAppServerAccess::credential_data()
{
    QTest::addColumn<QByteArray>("secret");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("no secret, nothing sent") << QByteArray() << QByteArray() << true;
    QTest::newRow("right") << QByteArray("s3cr3t") << QByteArray("Bearer s3cr3t") << true;
    QTest::newRow("scheme in any case") << QByteArray("s3cr3t") << QByteArray("bearer  s3cr3t ") << true;
    QTest::newRow("nothing sent") << QByteArray("s3cr3t") << QByteArray() << false;
    QTest::newRow("wrong") << QByteArray("s3cr3t") << QByteArray("Bearer s3cr3u") << false;
    QTest::newRow("prefix of it") << QByteArray("s3cr3t") << QByteArray("Bearer s3cr3") << false;
    QTest::newRow("longer") << QByteArray("s3cr3t") << QByteArray("Bearer s3cr3tt") << false;
    QTest::newRow("other scheme") << QByteArray("s3cr3t") << QByteArray("Basic s3cr3t") << false;
    QTest::newRow("scheme only") << QByteArray("s3cr3t") << QByteArray("Bearer ") << false;
}

void TestAppServerAccess::credential()
{
    QFETCH(QByteArray, secret);
    QFETCH(QByteArray, header);
    QFETCH(bool, accepted);
    const appserver::Credential c(secret);
    QCOMPARE(c.required(), !secret.isEmpty());
    QCOMPARE(c.accepts(std::string_view(header.constData(), size_t(header.size()))), accepted);
}

void TestAppServerAccess::startRules_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error"); // empty: accepted
    const QStringList db{u"--db"_s, u"sqlite:x.db"_s};
    QTest::newRow("loopback without a secret") << db + QStringList{u"--listen"_s, u"127.0.0.1:0"_s} << QString();
    QTest::newRow("any address without a secret")
        << db + QStringList{u"--listen"_s, u"0.0.0.0:8211"_s}
        << u"escutar em 0.0.0.0, fora da máquina local, exige --secret-file: sem ele qualquer um que alcance a porta chamaria o servidor."_s;
    QTest::newRow("any address with a secret")
        << db + QStringList{u"--listen"_s, u"0.0.0.0:8211"_s, u"--secret-file"_s, u"s"_s} << QString();
    QTest::newRow("only migrating") << db + QStringList{u"--listen"_s, u"[::]:0"_s, u"--no-serve"_s} << QString();
    QTest::newRow("certificate without key")
        << db + QStringList{u"--tls-cert"_s, u"c.pem"_s} << u"--tls-cert e --tls-key vão juntos."_s;
    QTest::newRow("request time-out 0") << db + QStringList{u"--request-timeout"_s, u"0"_s}
                                        << u"--request-timeout espera um número de 1 a 3600, não \"0\"."_s;
    QTest::newRow("too many connections") << db + QStringList{u"--max-connections"_s, u"5000"_s}
                                          << u"--max-connections espera um número de 1 a 900, não \"5000\"."_s;
}

void TestAppServerAccess::startRules()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    const auto parsed = appserver::parseOptions(args);
    QCOMPARE(parsed ? QString() : parsed.error(), error);
}

void TestAppServerAccess::contextValues()
{
    Context &c = Context::instance();
    c.reset();
    QCOMPARE(c.text(u"WebTLS"_s), u"N"_s);
    QCOMPARE(c.text(u"WebSecretFile"_s), QString());
    QVERIFY(c.applySettings({u"WebSecretFile=/etc/kpr/appserver.secret"_s, u"WebTLS=S"_s}));
    QCOMPARE(WebSecretFile(), u"/etc/kpr/appserver.secret"_s);
    QVERIFY(WebTLS());
    QCOMPARE(c.text(u"WebTLS"_s), u"S"_s);
    const auto refused = c.set(u"WebTLS"_s, u"talvez"_s);
    QCOMPARE(refused.error(), u"WebTLS deve ser S ou N, não \"talvez\"."_s);
    QVERIFY(WebTLS());
    c.reset();
}

void TestAppServerAccess::calls_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error"); // empty: an ok answer
    const QByteArray json = "Content-Type: application/json";
    const QByteArray bearer = m_bearer;

    QTest::newRow("no credential")
        << request({json}) << 401
        << u"Acesso negado: este servidor de aplicação exige a credencial (Authorization: Bearer); configure WebSecretFile."_s;
    QTest::newRow("wrong credential") << request({json, "Authorization: Bearer 0123"}) << 401
                                      << u"Acesso negado: a credencial enviada não é a deste servidor de aplicação."_s;
    QTest::newRow("right credential") << request({json, bearer}) << 200 << QString();
    QTest::newRow("json with charset") << request({"Content-Type: application/json; charset=utf-8", bearer}) << 200
                                       << QString();
    QTest::newRow("text/plain") << request({"Content-Type: text/plain", bearer}) << 415
                                << u"Tipo de conteúdo não aceito: envie Content-Type: application/json."_s;
    QTest::newRow("no content type") << request({bearer}) << 415
                                     << u"Tipo de conteúdo não aceito: envie Content-Type: application/json."_s;
    const QString fromPage = u"Acesso negado: chamadas feitas por páginas da web (cabeçalho Origin) não são aceitas."_s;
    QTest::newRow("Origin") << request({json, bearer, "Origin: http://example.com"}) << 403 << fromPage;
    QTest::newRow("text/plain from a page")
        << request({"Content-Type: text/plain", "Origin: http://example.com"}) << 403 << fromPage;
    QTest::newRow("Expect 100-continue without credential")
        << request({json, "Expect: 100-continue"}) << 401
        << u"Acesso negado: este servidor de aplicação exige a credencial (Authorization: Bearer); configure WebSecretFile."_s;
    QTest::newRow("Expect 100-continue with credential")
        << request({json, bearer, "Expect: 100-continue"}) << 200 << QString();
    QTest::newRow("Range ignored") << request({json, bearer, "Range: bytes=0-1,3-4"}) << 200 << QString();
    QTest::newRow("chunked call") << request({json, bearer, "Transfer-Encoding: chunked"}, chunked(kCall, 7)) << 200
                                  << QString();
    QTest::newRow("gzip call") << request({json, bearer, "Content-Encoding: gzip"}, gzip(kCall)) << 200 << QString();
    QTest::newRow("chunked and Content-Length")
        << request({json, bearer, "Transfer-Encoding: chunked", "Content-Length: 5"}, chunked(kCall, 7)) << 400
        << u"Requisição inválida: Transfer-Encoding e Content-Length juntos."_s;
    QTest::newRow("two Content-Length") << request(
        {json, bearer, "Content-Length: " + QByteArray::number(kCall.size()), "Content-Length: 3"})
                                        << 400
                                        << u"Requisição inválida: Content-Length repetido ou que não é um número."_s;
    QTest::newRow("declared length over the limit")
        << request({json, bearer, "Content-Length: 2000000"}, QByteArray()) << 413
        << u"Requisição grande demais: o limite é de 1048576 bytes."_s;
    QList<QByteArray> many{json, bearer};
    for (int i = 0; i < 70; ++i)
        many << "X-Extra-" + QByteArray::number(i) + ": 1";
    const QString headers = u"Cabeçalhos grandes demais: o limite é de 64 cabeçalhos e 16384 bytes."_s;
    QTest::newRow("too many headers") << request(many) << 431 << headers;
    QTest::newRow("too-long header") << request({json, bearer, "X-Long: " + QByteArray(20000, 'a')}) << 431 << headers;
    QTest::newRow("endless request line") << QByteArray("POST /" + QByteArray(1 << 20, 'a')) << 431 << headers;
}

void TestAppServerAccess::calls()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    QFETCH(QString, error);
    const Reply r = exchange(m_guarded.port(), request);
    QCOMPARE(r.status, status);
    QCOMPARE(r.headers.value("content-type"), QByteArray("application/json; charset=utf-8"));
    const QJsonObject answer = QJsonDocument::fromJson(r.body).object();
    QCOMPARE(answer.value(u"ok"_s).toBool(), error.isEmpty());
    QCOMPARE(r.error(), error);
    if (error.isEmpty())
        QVERIFY(answer.value(u"result"_s).toObject().contains(u"fields"_s)); // whole, not byte ranges
    QCOMPARE(r.headers.contains("www-authenticate"), status == 401);
    // A refused client that waits to send its body is refused before it is asked for it.
    QCOMPARE(r.interim > 0, status == 200 && request.contains("Expect: 100-continue"));
    if (status == 401)
        QVERIFY(r.headers.value("www-authenticate").startsWith("Bearer"));
}

void TestAppServerAccess::bodiesCountedAsReceived_data()
{
    QTest::addColumn<QByteArray>("request");
    const QList<QByteArray> head{"Content-Type: application/json", m_bearer};
    // 200 MiB of zeros, about 200 KiB on the wire: under the limit as declared.
    QTest::newRow("gzip bomb") << request(head + QList<QByteArray>{"Content-Encoding: gzip"},
                                          gzip(QByteArray(200 << 20, '\0')));
    QTest::newRow("chunked body over the limit")
        << request(head + QList<QByteArray>{"Transfer-Encoding: chunked"}, chunked(QByteArray(24 << 20, ' '), 65536));
    QTest::newRow("one endless chunk line")
        << request(head + QList<QByteArray>{"Transfer-Encoding: chunked"}, QByteArray(24 << 20, '1'));
}

void TestAppServerAccess::bodiesCountedAsReceived()
{
    QFETCH(QByteArray, request);
    const Reply r = exchange(m_guarded.port(), request, 20000);
    QCOMPARE(r.status, 413);
    QCOMPARE(r.error(), u"Requisição grande demais: o limite é de 1048576 bytes."_s);
    const qint64 peak = peakMemoryMiB(m_guarded.pid());
    QVERIFY2(peak > 0 && peak < 120, qPrintable(u"the server's peak memory is %1 MiB"_s.arg(peak)));
    // Still serving.
    QCOMPARE(exchange(m_guarded.port(), ::request({"Content-Type: application/json", m_bearer})).status, 200);
}

void TestAppServerAccess::trickleCutWhileOthersServed()
{
    // The server was started with --request-timeout 2: a request whose bytes come slowly is
    // cut two seconds after its first byte, however steadily they come.
    const int fd = connectTo(m_guarded.port());
    QVERIFY(fd >= 0);
    const QByteArray req = request({"Content-Type: application/json", m_bearer});
    QElapsedTimer clock;
    clock.start();
    bool cut = false;
    QByteArray answer;
    for (qsizetype i = 0; i < req.size() && clock.elapsed() < 8000; ++i) {
        if (::send(fd, req.constData() + i, 1, MSG_NOSIGNAL) != 1) {
            cut = true;
            break;
        }
        if (i == 3) {
            const Reply other = exchange(m_guarded.port(), req, 2000);
            QCOMPARE(other.status, 200);
            QVERIFY2(other.ms < 1000, qPrintable(u"another client waited %1 ms"_s.arg(other.ms)));
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 300) > 0) {
            char buf[4096];
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n > 0)
                answer.append(buf, n);
            cut = true;
            break;
        }
    }
    ::close(fd);
    QVERIFY2(cut, "the trickling client was never cut");
    QVERIFY2(clock.elapsed() >= 1500 && clock.elapsed() < 5000, qPrintable(u"cut after %1 ms"_s.arg(clock.elapsed())));
    if (!answer.isEmpty())
        QVERIFY2(answer.startsWith("HTTP/1.1 408 "), answer.constData());
}

void TestAppServerAccess::connectionLimits_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");
    QTest::newRow("per client")
        << QStringList{u"--max-connections-per-client"_s, u"3"_s}
        << u"O endereço 127.0.0.1 já tem o máximo de 3 conexões com o servidor de aplicação; tente novamente em instantes."_s;
    QTest::newRow("in total") << QStringList{
        u"--max-connections"_s,
        u"3"_s} << u"O servidor de aplicação está com o máximo de 3 conexões; tente novamente em instantes."_s;
}

void TestAppServerAccess::connectionLimits()
{
    // Three connections in the middle of a request hold their places (none is idle, so
    // none can be closed to make room); the fourth is refused at once, not queued.
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    AppServerProcess server{QStringLiteral(KPR_APPSERVER_EXE)};
    const auto started = server.start(m_url, args + QStringList{u"--request-timeout"_s, u"5"_s});
    QVERIFY2(started, qPrintable(started.error()));
    std::vector<int> busy;
    for (int i = 0; i < 3; ++i) {
        const int fd = connectTo(server.port());
        QVERIFY(fd >= 0);
        ::send(fd, "POST /rpc/Kpr04700.rdmCFR HTTP/1.1\r\n", 36, MSG_NOSIGNAL);
        busy.push_back(fd);
    }
    QTest::qWait(200);
    const Reply refused = exchange(server.port(), request({"Content-Type: application/json"}), 3000);
    for (const int fd : busy)
        ::close(fd);
    QCOMPARE(refused.status, 503);
    QVERIFY2(refused.ms < 1000, qPrintable(u"answered after %1 ms"_s.arg(refused.ms)));
    QCOMPARE(refused.headers.value("retry-after"), QByteArray("1"));
    QCOMPARE(refused.error(), error);
    QTest::qWait(300); // the server sees the closed connections
    QCOMPARE(exchange(server.port(), request({"Content-Type: application/json"})).status, 200);
    const auto stopped = server.stop();
    QVERIFY2(stopped, qPrintable(stopped.error()));
}

void TestAppServerAccess::idleConnectionsMakeRoom()
{
    // A server with the default limits (256 connections): 300 connections that send nothing
    // must not make a new client wait for their keep-alive time to pass.
    AppServerProcess server{QStringLiteral(KPR_APPSERVER_EXE)};
    const auto started = server.start(m_url);
    QVERIFY2(started, qPrintable(started.error()));
    std::vector<int> idle;
    for (int i = 0; i < 300; ++i) {
        const int fd = connectTo(server.port());
        QVERIFY(fd >= 0);
        idle.push_back(fd);
    }
    QTest::qWait(500);
    httplib::Client client("127.0.0.1", server.port());
    client.set_read_timeout(3, 0);
    client.set_connection_timeout(3, 0);
    QElapsedTimer clock;
    clock.start();
    const auto res = client.Post("/rpc/Kpr04700.rdmCFR", kCall.constData(), size_t(kCall.size()), "application/json");
    const qint64 took = clock.elapsed();
    for (const int fd : idle)
        ::close(fd);
    QVERIFY2(res, httplib::to_string(res.error()).c_str());
    QCOMPARE(res->status, 200);
    QVERIFY2(took < 2000, qPrintable(u"the new client waited %1 ms"_s.arg(took)));
    const auto stopped = server.stop();
    QVERIFY2(stopped, qPrintable(stopped.error()));
}

void TestAppServerAccess::refusesToStart_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("secretMode"); // -1: no file
    QTest::addColumn<QByteArray>("secretContent");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said");
    const QString secret = m_dir.filePath(u"refused.secret"_s);
    QTest::newRow("beyond loopback without a secret")
        << QStringList{u"--listen"_s, u"0.0.0.0:0"_s} << -1 << QByteArray() << 2 << u"exige --secret-file"_s;
    QTest::newRow("world-readable secret") << QStringList{u"--secret-file"_s, secret} << 0644 << QByteArray("abc\n")
                                           << 1 << u"(modo 0644); deixe-o só para o dono: chmod 600"_s;
    QTest::newRow("group-readable secret")
        << QStringList{u"--secret-file"_s, secret} << 0640 << QByteArray("abc\n") << 1 << u"(modo 0640)"_s;
    QTest::newRow("empty secret") << QStringList{u"--secret-file"_s, secret} << 0600 << QByteArray("\n") << 1
                                  << u"está vazio"_s;
    QTest::newRow("missing secret") << QStringList{u"--secret-file"_s, secret} << -1 << QByteArray() << 1
                                    << u"não existe; crie-o com --init-db --secret-file"_s;
    QTest::newRow("unreadable certificate")
        << QStringList{u"--tls-cert"_s, m_dir.filePath(u"none.pem"_s), u"--tls-key"_s, m_dir.filePath(u"none.key"_s)}
        << -1 << QByteArray() << 1 << u"não foi possível carregar o certificado TLS"_s;
}

void TestAppServerAccess::refusesToStart()
{
    QFETCH(QStringList, args);
    QFETCH(int, secretMode);
    QFETCH(QByteArray, secretContent);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    const QString secret = m_dir.filePath(u"refused.secret"_s);
    QFile::remove(secret);
    if (secretMode >= 0) {
        QFile f(secret);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(secretContent);
        f.close();
        QCOMPARE(::chmod(QFile::encodeName(secret).constData(), mode_t(secretMode)), 0);
    }
    QProcess p;
    p.start(QStringLiteral(KPR_APPSERVER_EXE), QStringList{u"--db"_s, m_url, u"--listen"_s, u"127.0.0.1:0"_s} + args);
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished();
        QFAIL("the server started");
    }
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(p.exitCode(), exitCode);
    QVERIFY2(err.contains(said), qPrintable(err));
}

void TestAppServerAccess::initDbCreatesSecret()
{
    const QString path = m_dir.filePath(u"made.secret"_s);
    const auto run = [&] {
        QProcess p;
        p.start(QStringLiteral(KPR_APPSERVER_EXE),
                {u"--db"_s, m_url, u"--init-db"_s, u"--no-serve"_s, u"--secret-file"_s, path});
        return p.waitForFinished(30000) && p.exitCode() == 0;
    };
    QVERIFY(run());
    struct stat st
    {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), 0600);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray first = f.readAll();
    f.close();
    QVERIFY2(QRegularExpression(u"^[0-9a-f]{64}\n$"_s).match(QString::fromLatin1(first)).hasMatch(), first.constData());
    // Run again: the existing secret is kept, so clients configured with it go on working.
    QVERIFY(run());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), first);
}

void TestAppServerAccess::clientCredential_data()
{
    QTest::addColumn<QString>("secretFile");
    QTest::addColumn<QString>("error"); // empty: the call succeeds
    const QString where = u"127.0.0.1:%1"_s.arg(m_guarded.port());
    const QString wrong = m_dir.filePath(u"wrong.secret"_s);
    QFile f(wrong);
    if (f.open(QIODevice::WriteOnly))
        f.write("0123456789\n");
    QTest::newRow("the server's secret") << m_guarded.secretFile() << QString();
    QTest::newRow("no secret file")
        << QString()
        << u"O servidor de aplicação em %1 recusou a chamada de GetCFRSintData (HTTP 401): Acesso negado: este servidor de aplicação exige a credencial (Authorization: Bearer); configure WebSecretFile."_s
               .arg(where);
    QTest::newRow("another secret")
        << wrong
        << u"O servidor de aplicação em %1 recusou a chamada de GetCFRSintData (HTTP 401): Acesso negado: a credencial enviada não é a deste servidor de aplicação."_s
               .arg(where);
    const QString missing = m_dir.filePath(u"missing.secret"_s);
    QTest::newRow("missing file")
        << missing
        << u"Não foi possível conectar ao servidor de aplicação em %1: o arquivo da credencial %2 (WebSecretFile) não pôde ser lido: No such file or directory."_s
               .arg(where, missing);
}

void TestAppServerAccess::clientCredential()
{
    QFETCH(QString, secretFile);
    QFETCH(QString, error);
    TNetConnection net;
    net.setServerName(u"Kpr04700.rdmCFR"_s);
    net.setHost(u"127.0.0.1"_s);
    net.setPort(m_guarded.port());
    net.setSecretFile(secretFile);
    const ServerResult r = net.call(u"GetCFRSintData"_s);
    QCOMPARE(r.ok ? QString() : r.error, error);
}

void TestAppServerAccess::tls_data()
{
    QTest::addColumn<QString>("trusted"); // the authority file the client trusts
    QTest::addColumn<QString>("error");   // a part of the failure; empty: the call succeeds
    QTest::newRow("trusted certificate") << u"ca.pem"_s << QString();
    QTest::newRow("untrusted certificate")
        << u"other-ca.pem"_s << u"o certificado TLS do servidor não é confiável ou não é deste endereço"_s;
}

void TestAppServerAccess::tls()
{
    QFETCH(QString, trusted);
    QFETCH(QString, error);
    const QDir dir(m_dir.path());
    const auto path = [&](const QString &name) { return dir.filePath(name); };
    if (!QFile::exists(path(u"server.pem"_s))) {
        QFile ext(path(u"ext.cnf"_s));
        QVERIFY(ext.open(QIODevice::WriteOnly));
        ext.write("[req]\ndistinguished_name = dn\n[dn]\n"
                  "[ca]\nbasicConstraints = critical, CA:TRUE\nkeyUsage = critical, keyCertSign, cRLSign\n"
                  "[srv]\nbasicConstraints = critical, CA:FALSE\n"
                  "keyUsage = critical, digitalSignature, keyEncipherment\nextendedKeyUsage = serverAuth\n"
                  "subjectAltName = IP:127.0.0.1, DNS:localhost\n");
        ext.close();
        const QStringList ec{u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s, u"ec_paramgen_curve:prime256v1"_s, u"-nodes"_s};
        for (const QString &ca : {u"ca"_s, u"other-ca"_s})
            QVERIFY(runOpenssl(QStringList{u"req"_s, u"-x509"_s, u"-new"_s} + ec
                               + QStringList{u"-keyout"_s, path(ca + u".key"_s), u"-out"_s, path(ca + u".pem"_s),
                                             u"-days"_s, u"2"_s, u"-subj"_s, u"/CN=Kpr Test "_s + ca, u"-config"_s,
                                             path(u"ext.cnf"_s), u"-extensions"_s, u"ca"_s}));
        QVERIFY(runOpenssl(QStringList{u"req"_s, u"-new"_s} + ec
                           + QStringList{u"-keyout"_s, path(u"server.key"_s), u"-out"_s, path(u"server.csr"_s),
                                         u"-subj"_s, u"/CN=localhost"_s, u"-config"_s, path(u"ext.cnf"_s)}));
        QVERIFY(runOpenssl({u"x509"_s, u"-req"_s, u"-in"_s, path(u"server.csr"_s), u"-CA"_s, path(u"ca.pem"_s),
                            u"-CAkey"_s, path(u"ca.key"_s), u"-CAcreateserial"_s, u"-out"_s, path(u"server.pem"_s),
                            u"-days"_s, u"2"_s, u"-extfile"_s, path(u"ext.cnf"_s), u"-extensions"_s, u"srv"_s}));
    }
    AppServerProcess server{QStringLiteral(KPR_APPSERVER_EXE)};
    server.setUseSecret(true);
    const auto started =
        server.start(m_url, {u"--tls-cert"_s, path(u"server.pem"_s), u"--tls-key"_s, path(u"server.key"_s)});
    QVERIFY2(started, qPrintable(started.error()));

    const QByteArray before = qgetenv("SSL_CERT_FILE");
    qputenv("SSL_CERT_FILE", QFile::encodeName(path(trusted)));
    TNetConnection net;
    net.setServerName(u"Kpr04700.rdmCFR"_s);
    net.setHost(u"127.0.0.1"_s);
    net.setPort(server.port());
    net.setSecretFile(server.secretFile());
    net.setUseTls(true);
    const ServerResult r = net.call(u"GetCFRSintData"_s);
    // Calls sent together ride a connection of their own, checked the same way.
    QList<ServerResult> together;
    net.callInOrder({{u"GetCFRSintData"_s, {}}, {u"GetCFRSintData"_s, {}}}, [&](ServerResult &&a) {
        together << a;
        return true;
    });
    // Plain HTTP to the TLS port gets no answer.
    httplib::Client plain("127.0.0.1", server.port());
    plain.set_read_timeout(3, 0);
    const auto res = plain.Post("/rpc/Kpr04700.rdmCFR", kCall.constData(), size_t(kCall.size()), "application/json");
    if (before.isEmpty())
        qunsetenv("SSL_CERT_FILE");
    else
        qputenv("SSL_CERT_FILE", before);

    if (error.isEmpty()) {
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(together.size(), 2);
        QVERIFY2(together[0].ok && together[1].ok, qPrintable(together[0].error + together[1].error));
        QCOMPARE(together[1].data, r.data);
    } else {
        QVERIFY(!r.ok);
        QVERIFY2(r.error.startsWith(
                     u"Não foi possível conectar ao servidor de aplicação em 127.0.0.1:%1: "_s.arg(server.port())),
                 qPrintable(r.error));
        QVERIFY2(r.error.contains(error), qPrintable(r.error));
        // Each call fails for the same reason as the single call.
        QCOMPARE(together.size(), 2);
        for (const ServerResult &a : together)
            QCOMPARE(a.error.section(u" ("_s, 0, 0), r.error.section(u" ("_s, 0, 0));
    }
    QVERIFY(!res || res->status != 200);
    const auto stopped = server.stop();
    QVERIFY2(stopped, qPrintable(stopped.error()));
}

QTEST_GUILESS_MAIN(TestAppServerAccess)
#include "tst_appserver_access.moc"
