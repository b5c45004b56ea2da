// TNetConnection against small HTTP servers started inside the test on free loopback
// ports: the wire format, by-reference arguments, every kind of failure and the
// before-connect hook.
#include "framework/core/abort.h"
#include "framework/data/clientdataset.h"
#include "framework/net/httptransport.h"
#include "framework/net/netconnection.h"
#include "framework/net/rpcargs.h"
#include "tests/support/recordingtransport.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <httplib.h>

#include <atomic>
#include <mutex>
#include <thread>

#include <cstdio>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using kpr::test::RecordingTransport;

namespace {

// An HTTP server on 127.0.0.1 and a free port, answering POST /rpc/<module> through a
// handler that gets the method and arguments and returns the JSON answer.
class RpcTestServer
{
public:
    using Handler = std::function<QJsonObject(const QString &method, const QJsonArray &args)>;

    explicit RpcTestServer(Handler handler, int keepAliveSeconds = 5) : m_handler(std::move(handler))
    {
        m_server.set_tcp_nodelay(true);
        m_server.set_keep_alive_timeout(keepAliveSeconds);
        m_server.set_keep_alive_max_count(1000); // the default closes after 5 requests
        m_server.Post("/rpc/([^/]+)", [this](const httplib::Request &req, httplib::Response &res) {
            const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(req.body)).object();
            {
                std::lock_guard lock(m_mutex);
                m_modules.append(QString::fromStdString(req.matches[1]));
                m_bodies.append(body);
                m_remotePorts.append(req.remote_port);
            }
            if (m_status != 200) {
                res.status = m_status;
                res.set_content(m_statusBody, "application/json");
                return;
            }
            const QJsonObject answer = m_handler(body.value(u"method"_s).toString(), body.value(u"args"_s).toArray());
            res.set_content(QJsonDocument(answer).toJson(QJsonDocument::Compact).toStdString(), "application/json");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::yield();
    }
    ~RpcTestServer() { stop(); }

    void stop()
    {
        m_server.stop();
        if (m_thread.joinable())
            m_thread.join();
    }
    int port() const { return m_port; }
    // Answers every request with this status and body instead of the handler's answer.
    void answerStatus(int status, std::string body)
    {
        m_status = status;
        m_statusBody = std::move(body);
    }
    QList<QJsonObject> bodies() const
    {
        std::lock_guard lock(m_mutex);
        return m_bodies;
    }
    QStringList modules() const
    {
        std::lock_guard lock(m_mutex);
        return m_modules;
    }
    QList<int> remotePorts() const
    {
        std::lock_guard lock(m_mutex);
        return m_remotePorts;
    }

private:
    Handler m_handler;
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    std::atomic<int> m_status = 200;
    std::string m_statusBody;
    mutable std::mutex m_mutex;
    QList<QJsonObject> m_bodies;
    QStringList m_modules;
    QList<int> m_remotePorts;
};

// The answers of the test module: "Eco" returns its arguments; "Dobra" doubles its first
// argument and appends "!" to its second, in refs (two by-reference arguments);
// "Recusa" fails with a text.
QJsonObject testModule(const QString &method, const QJsonArray &args)
{
    if (method == u"Eco")
        return {{u"ok"_s, true}, {u"result"_s, args}, {u"refs"_s, args}};
    if (method == u"Dobra") {
        QJsonArray refs = args;
        refs[0] = args[0].toDouble() * 2;
        refs[1] = args[1].toString() + u"!"_s;
        return {{u"ok"_s, true}, {u"result"_s, u"feito"_s}, {u"refs"_s, refs}};
    }
    if (method == u"Recusa")
        return {{u"ok"_s, false}, {u"error"_s, u"Filial 0009 não cadastrada."_s}};
    return {{u"ok"_s, false}, {u"error"_s, u"Método \"%1\" não existe."_s.arg(method)}};
}

// A loopback socket that is bound but neither listens nor accepts: connecting to its port
// is refused, and no other test can take the port while it is held.
struct RefusingPort
{
    int fd = -1;
    int port = 0;
    RefusingPort()
    {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~RefusingPort() { ::close(fd); }
};

// A loopback port whose backlog completes connections that nobody ever reads: a server
// that never answers.
struct SilentPort : RefusingPort
{
    SilentPort() { ::listen(fd, 8); }
};


// Reads one HTTP request (head and a Content-Length body) from fd; false at end of stream.
bool readRequest(int fd)
{
    std::string data;
    char buf[4096];
    size_t need = std::string::npos;
    while (need == std::string::npos || data.size() < need) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return false;
        data.append(buf, size_t(n));
        const size_t head = data.find("\r\n\r\n");
        if (need == std::string::npos && head != std::string::npos) {
            const size_t at = data.find("Content-Length: ");
            const size_t length = at == std::string::npos ? 0 : std::stoul(data.substr(at + 16));
            need = head + 4 + length;
        }
    }
    return true;
}

void answerOk(int fd)
{
    const std::string body = R"({"ok": true, "result": 1, "refs": []})";
    const std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: "
                              + std::to_string(body.size()) + "\r\n\r\n" + body;
    (void)::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
}

// A server that keeps its first connection alive after one answer and then drops it when
// the next request arrives, as a server closing an idle connection just as the client
// reuses it; a second connection is answered normally.
struct DroppingServer : SilentPort
{
    std::thread thread;
    int connections = 0;
    DroppingServer()
    {
        thread = std::thread([this] {
            while (connections < 2) {
                const int c = ::accept(fd, nullptr, nullptr);
                if (c < 0)
                    return;
                if (readRequest(c)) { // not the connect check, which sends nothing
                    ++connections;
                    answerOk(c);
                    readRequest(c); // the first: dropped at the next request; the second: until closed
                }
                ::close(c);
            }
        });
    }
    ~DroppingServer()
    {
        ::shutdown(fd, SHUT_RDWR); // ends a pending accept when the test failed early
        thread.join();
    }
};

// A server that answers the requests of one connection with the raw replies given, in
// order, and then closes it; it records each request as received. With holdUntil it
// answers nothing before it holds that many requests.
struct ScriptedServer : SilentPort
{
    std::thread thread;
    std::vector<std::string> replies;
    std::vector<std::string> requests;
    explicit ScriptedServer(std::vector<std::string> r, size_t holdUntil = 1) : replies(std::move(r))
    {
        thread = std::thread([this, holdUntil] {
            for (;;) {
                const int c = ::accept(fd, nullptr, nullptr);
                if (c < 0)
                    return;
                size_t answered = 0;
                std::string data;
                char buf[4096];
                while (answered < replies.size()) {
                    const ssize_t n = ::recv(c, buf, sizeof buf, 0);
                    if (n <= 0)
                        break;
                    data.append(buf, size_t(n));
                    for (;;) {
                        const size_t head = data.find("\r\n\r\n");
                        if (head == std::string::npos)
                            break;
                        const size_t at = data.find("Content-Length: ");
                        const size_t need = head + 4 + (at == std::string::npos ? 0 : std::stoul(data.substr(at + 16)));
                        if (data.size() < need)
                            break;
                        requests.push_back(data.substr(0, need));
                        data.erase(0, need);
                    }
                    while (requests.size() >= holdUntil && answered < std::min(requests.size(), replies.size())) {
                        const std::string &reply = replies[answered++];
                        (void)::send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
                    }
                }
                ::close(c);
                if (answered > 0)
                    return;
            }
        });
    }
    ~ScriptedServer()
    {
        ::shutdown(fd, SHUT_RDWR);
        thread.join();
    }
};

} // namespace

class TstNetConnection : public QObject
{
    Q_OBJECT

    void pointAt(TNetConnection &net, int port)
    {
        net.setServerName(u"Kpr04700.rdmCFR"_s);
        net.setHost(u"127.0.0.1"_s);
        net.setPort(port);
    }

private slots:
    void callsTravelAsTheProtocolSays()
    {
        RpcTestServer server(testModule);
        TNetConnection net;
        pointAt(net, server.port());
        net.setConnected(true);
        QVERIFY2(net.connected(), qPrintable(net.lastError()));

        // 1 January 2024 is day 45292; a date travels as that number, text as a string.
        const ServerResult r = net.call(u"Eco"_s, {rpcArg(u"0001"), rpcArg(QDate(2024, 1, 1))});
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(server.modules(), QStringList{u"Kpr04700.rdmCFR"_s});
        const QJsonObject sent = server.bodies().value(0);
        QCOMPARE(sent.value(u"method"_s).toString(), u"Eco"_s);
        QCOMPARE(sent.value(u"args"_s).toArray(), (QJsonArray{u"0001"_s, 45292}));
        QCOMPARE(rpcDate(r.data.toArray().at(1)), QDate(2024, 1, 1));

        // Every call rides the one kept-alive connection.
        for (int i = 0; i < 5; ++i)
            QVERIFY(net.call(u"Eco"_s).ok);
        const QList<int> ports = server.remotePorts();
        QCOMPARE(ports.size(), 6);
        QVERIFY(std::all_of(ports.begin(), ports.end(), [&](int p) { return p == ports.first(); }));
    }

    void repliesFramedAnyWayHttpAllows()
    {
        // The same answer with a Content-Length, in chunks (sizes in hex, an extension and a
        // trailer), and without a length on a connection the server then closes.
        const std::string body = R"({"ok": true, "result": "Almoço", "refs": []})";
        const std::string a = body.substr(0, 10), b = body.substr(10);
        char sizes[64];
        std::snprintf(sizes, sizeof sizes, "%zx;x=1\r\n", a.size());
        std::string chunked = "HTTP/1.1 200 OK\r\ntransfer-encoding: chunked\r\n\r\n" + std::string(sizes) + a + "\r\n";
        std::snprintf(sizes, sizeof sizes, "%zX\r\n", b.size());
        chunked += std::string(sizes) + b + "\r\n0\r\nX-Fim: 1\r\n\r\n";
        ScriptedServer server({"HTTP/1.1 200 OK\r\ncontent-length: " + std::to_string(body.size()) + "\r\n\r\n" + body,
                               chunked, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body});
        TNetConnection net;
        pointAt(net, server.port);
        for (int i = 0; i < 3; ++i) {
            const ServerResult r = net.call(u"Eco"_s);
            QVERIFY2(r.ok, qPrintable(r.error));
            QCOMPARE(r.data.toString(), u"Almoço"_s);
        }
        // The three came on one connection, each request whole and with its length.
        QCOMPARE(server.requests.size(), size_t(3));
        const std::string &first = server.requests[0];
        QVERIFY(first.rfind("POST /rpc/Kpr04700.rdmCFR HTTP/1.1\r\n", 0) == 0);
        QVERIFY(first.find("Content-Length: ") != std::string::npos);
        QVERIFY(first.substr(first.find("\r\n\r\n") + 4).find("\"method\":\"Eco\"") != std::string::npos);
    }

    void callsInOrderGoOutTogether()
    {
        // The server answers nothing before it holds all three requests: calls made one at
        // a time would wait for ever. The second answer is a method's failure, which does
        // not end the sequence; the third comes in chunks.
        const auto reply = [](const std::string &body, bool chunked = false) {
            if (chunked)
                return "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                       + QByteArray::number(qsizetype(body.size()), 16).toStdString() + "\r\n" + body + "\r\n0\r\n\r\n";
            return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        };
        ScriptedServer server({reply(R"({"ok": true, "result": 1, "refs": [2]})"),
                               reply(R"({"ok": false, "error": "Filial 0009 não cadastrada."})"),
                               reply(R"({"ok": true, "result": 3, "refs": [3]})", true)},
                              3);
        TNetConnection net;
        pointAt(net, server.port);
        net.setCallTimeout(5000);
        QStringList answers;
        net.callInOrder({{u"Eco"_s, {1}}, {u"Recusa"_s, {2}}, {u"Eco"_s, {3}}}, [&](ServerResult &&r) {
            answers << (r.ok ? QString::number(r.data.toInt()) + u"/"_s + QString::number(r.refs.at(0).toInt())
                             : r.error);
            return true;
        });
        QCOMPARE(answers, (QStringList{u"1/2"_s, u"Filial 0009 não cadastrada."_s, u"3/3"_s}));
        QCOMPARE(server.requests.size(), size_t(3));
        for (size_t i = 0; i < 3; ++i) {
            const std::string &request = server.requests[i];
            QVERIFY(request.rfind("POST /rpc/Kpr04700.rdmCFR HTTP/1.1\r\nHost: 127.0.0.1:", 0) == 0);
            QVERIFY(request.find(i == 1 ? R"("args":[2],"method":"Recusa")" : R"("method":"Eco")")
                    != std::string::npos);
        }
    }

    void aSequenceCutShortLeavesTheConnectionClear()
    {
        // Answer k carries k: a sequence that read an answer left over by an earlier one
        // would get the wrong numbers.
        std::vector<std::string> replies;
        for (int k = 1; k <= 12; ++k) {
            const std::string body = R"({"ok": true, "result": )" + std::to_string(k) + R"(, "refs": [0]})";
            replies.push_back("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
        }
        ScriptedServer server(replies);
        TNetConnection net;
        pointAt(net, server.port);
        const QList<RpcCall> calls{{u"Eco"_s, {0}}, {u"Eco"_s, {0}}, {u"Eco"_s, {0}}, {u"Eco"_s, {0}}};
        QList<int> seen;
        net.callInOrder(calls, [&](ServerResult &&r) {
            seen << r.data.toInt();
            return seen.size() < 2;
        });
        QCOMPARE(seen, (QList<int>{1, 2}));
        QVERIFY_THROWS_EXCEPTION(EKprError, net.callInOrder(calls, [](ServerResult &&) -> bool {
            throw EKprError(u"falha ao ler a resposta"_s);
        }));
        seen.clear();
        net.callInOrder(calls, [&](ServerResult &&r) {
            seen << r.data.toInt();
            return true;
        });
        QCOMPARE(seen, (QList<int>{9, 10, 11, 12}));
        QCOMPARE(server.requests.size(), size_t(12));

        // A connection broken after the first answer, or closed by it: the second call gets
        // the failure, and the sequence ends there.
        for (const char *closing : {"", "Connection: close\r\n"}) {
            ScriptedServer broken({"HTTP/1.1 200 OK\r\n" + std::string(closing)
                                   + "Content-Length: 38\r\n\r\n"
                                     R"({"ok": true, "result": 1, "refs": [1]})"},
                                  3);
            TNetConnection other;
            pointAt(other, broken.port);
            QStringList answers;
            other.callInOrder(calls.mid(0, 3), [&](ServerResult &&a) {
                answers << (a.ok ? u"ok"_s : a.error);
                return true;
            });
            QCOMPARE(answers, (QStringList{u"ok"_s, u"A conexão com o servidor de aplicação em 127.0.0.1:%1 foi "
                                                    "interrompida durante a chamada de Eco."_s.arg(broken.port)}));
        }
    }

    // Many calls with answers larger than one read: requests keep going out while the
    // answers are taken in, each whole and in its place.
    void longSequencesOfLargeAnswers()
    {
        std::vector<std::string> replies;
        for (int k = 1; k <= 60; ++k) {
            const std::string body =
                "{\"ok\": true, \"result\": \"" + std::string(size_t(100000 + k), 'x') + "\", \"refs\": [0]}";
            replies.push_back("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
        }
        ScriptedServer server(replies);
        TNetConnection net;
        pointAt(net, server.port);
        QList<qsizetype> sizes;
        net.callInOrder(QList<RpcCall>(60, RpcCall{u"Eco"_s, {0}}), [&](ServerResult &&r) {
            sizes << r.data.toString().size();
            return true;
        });
        QCOMPARE(sizes.size(), 60);
        for (int k = 1; k <= 60; ++k)
            QCOMPARE(sizes.at(k - 1), 100000 + k);
    }

    // The calls sent together keep their connection between sequences. One the server
    // closed while idle is replaced before sending; one it drops as the calls arrive, with
    // nothing answered, is replaced and the calls sent again.
    void theSequencesConnectionIsReplacedWhenDropped_data()
    {
        QTest::addColumn<bool>("dropOnArrival");
        QTest::newRow("closed while idle") << false;
        QTest::newRow("dropped as the calls arrive") << true;
    }
    void theSequencesConnectionIsReplacedWhenDropped()
    {
        QFETCH(bool, dropOnArrival);
        SilentPort port;
        std::atomic<int> connections = 0;
        std::thread server([&] {
            for (int served = 0; served < 2;) {
                const int c = ::accept(port.fd, nullptr, nullptr);
                if (c < 0)
                    return;
                // The first connection answers one sequence of two, the second everything.
                int answered = 0;
                std::string data;
                char buf[4096];
                while (served == 1 || answered < 2) {
                    const ssize_t n = ::recv(c, buf, sizeof buf, 0);
                    if (n <= 0)
                        break;
                    data.append(buf, size_t(n));
                    // Each request ends with its body, {"args":[],"method":"Eco"}.
                    for (size_t at; (at = data.find("\"Eco\"}")) != std::string::npos;) {
                        data.erase(0, at + 6);
                        answerOk(c);
                        ++answered;
                    }
                }
                if (answered > 0) {
                    ++served;
                    ++connections;
                    if (served == 1 && dropOnArrival) {
                        char byte;
                        (void)::recv(c, &byte, 1, 0); // until the next sequence arrives
                    }
                }
                ::close(c);
            }
        });
        TNetConnection net;
        pointAt(net, port.port);
        const QList<RpcCall> calls{{u"Eco"_s, {}}, {u"Eco"_s, {}}};
        for (int sequence = 0; sequence < 2; ++sequence) {
            int ok = 0;
            net.callInOrder(calls, [&](ServerResult &&r) {
                ok += r.ok ? 1 : 0;
                return true;
            });
            QCOMPARE(ok, 2);
            if (sequence == 0 && !dropOnArrival) {
                // Let the server's close reach this end.
                QElapsedTimer t;
                t.start();
                while (connections < 1 && t.elapsed() < 5000)
                    std::this_thread::yield();
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
        net.close();
        ::shutdown(port.fd, SHUT_RDWR);
        server.join();
        QCOMPARE(connections.load(), 2);
    }

    void aReplyThatIsNoHttpFails()
    {
        ScriptedServer server({"SMTP 220 pronto\r\n\r\n"});
        TNetConnection net;
        pointAt(net, server.port);
        const ServerResult r = net.call(u"Eco"_s);
        QVERIFY(!r.ok);
        QCOMPARE(r.error, u"Falha na comunicação com o servidor de aplicação em 127.0.0.1:%1 durante a chamada de Eco "
                          "(resposta HTTP inválida)."_s.arg(server.port));
    }

    void byReferenceArgumentsReachTheCaller()
    {
        RpcTestServer server(testModule);
        TNetConnection net;
        pointAt(net, server.port());

        QJsonArray args{21, u"_0001_"_s, u"fica"_s};
        const ServerResult r = net.call(u"Dobra"_s, args);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.data.toString(), u"feito"_s);
        QCOMPARE(args, (QJsonArray{42, u"_0001_!"_s, u"fica"_s}));
        QCOMPARE(r.refs, args);

        // A failed call leaves the caller's variables as they were.
        QJsonArray kept{u"0009"_s};
        QVERIFY(!net.call(u"Recusa"_s, kept).ok);
        QCOMPARE(kept, QJsonArray{u"0009"_s});
    }

    void serverFailuresComeBackOrAreThrown()
    {
        RpcTestServer server(testModule);
        TNetConnection net;
        pointAt(net, server.port());

        ServerResult r = net.call(u"Recusa"_s, {rpcArg(u"0009")});
        QVERIFY(!r.ok);
        QCOMPARE(r.error, u"Filial 0009 não cadastrada."_s);
        QCOMPARE(net.lastError(), r.error);
        QVERIFY(net.call(u"Eco"_s).ok);
        QVERIFY(net.lastError().isEmpty());

        net.setThrowException(true);
        try {
            net.call(u"Recusa"_s, {rpcArg(u"0009")});
            QFAIL("no exception");
        } catch (const EKprError &e) {
            QCOMPARE(e.text(), u"Filial 0009 não cadastrada."_s);
        }

        // An HTTP error carries the server's own text.
        net.setThrowException(false);
        server.answerStatus(400,
                            "{\"ok\": false, \"error\": \"Requisição inválida: falta o campo \\\"args\\\" (lista).\"}");
        r = net.call(u"Eco"_s);
        QVERIFY(!r.ok);
        QCOMPARE(r.error, u"O servidor de aplicação em 127.0.0.1:%1 recusou a chamada de Eco (HTTP 400): "
                          "Requisição inválida: falta o campo \"args\" (lista)."_s.arg(server.port()));
        server.answerStatus(404, "Not Found");
        r = net.call(u"Eco"_s);
        QCOMPARE(r.error,
                 u"O servidor de aplicação em 127.0.0.1:%1 recusou a chamada de Eco (HTTP 404): Not Found"_s.arg(
                     server.port()));
    }

    void malformedAnswers_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("detail");
        QTest::newRow("not JSON") << QByteArray("<html>") << u"não é JSON (illegal value)"_s;
        QTest::newRow("an array") << QByteArray("[1]") << u"não é um objeto JSON"_s;
        QTest::newRow("no ok") << QByteArray(R"({"result": 1, "refs": ["a"]})") << u"falta o campo \"ok\""_s;
        QTest::newRow("ok not a bool") << QByteArray(R"({"ok": "true", "refs": ["a"]})") << u"falta o campo \"ok\""_s;
        // A missing or short refs would silently keep a by-reference variable unchanged.
        QTest::newRow("no refs") << QByteArray(R"({"ok": true, "result": 1})") << u"falta o campo \"refs\""_s;
        QTest::newRow("short refs") << QByteArray(R"({"ok": true, "result": 1, "refs": []})")
                                    << u"\"refs\" traz 0 argumentos em vez de 1"_s;
        QTest::newRow("text after the answer") << QByteArray(R"({"ok": true, "result": 1, "refs": ["a"]} x)")
                                               << u"não é JSON (garbage at the end of the document)"_s;
        QTest::newRow("a packet cut short") << QByteArray(R"({"ok": true, "refs": ["a"], "result": {"fields": []})")
                                            << u"não é JSON (unterminated object)"_s;
        QTest::newRow("a bad value in refs")
            << QByteArray(R"({"ok": true, "result": 1, "refs": [tru]})") << u"não é JSON (illegal value)"_s;
        // Nesting that would exhaust the reader's stack is refused, not followed.
        QTest::newRow("refs nested 200 deep")
            << "{\"ok\": true, \"result\": 1, \"refs\": " + QByteArray(200, '[') + QByteArray(200, ']') + "}"
            << u"não é JSON (The JSON document was too deep (too many nested objects and arrays))"_s;
    }
    void malformedAnswers()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, detail);
        const ServerResult r = parseRpcAnswer(body, 1, u"h:1"_s, u"M"_s);
        QVERIFY(!r.ok);
        QCOMPARE(r.error,
                 u"O servidor de aplicação em h:1 enviou uma resposta inválida à chamada de M: %1."_s.arg(detail));
    }

    void answersThatAreWellFormed()
    {
        ServerResult r = parseRpcAnswer(R"({"ok": true, "refs": ["a"]})", 1, u"h:1"_s, u"M"_s);
        QVERIFY(r.ok);
        QVERIFY(r.data.isNull()); // a method with nothing to return
        r = parseRpcAnswer(R"({"ok": false})", 1, u"h:1"_s, u"M"_s);
        QCOMPARE(r.error, u"O servidor de aplicação informou uma falha na chamada de M, sem descrição."_s);
    }

    // Results and refs read as QJsonDocument reads them, the object result kept as text.
    void answersReadAsQtReadsThem_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("a text with escapes and accents")
            << QByteArray("{\"ok\":true,\"result\":\"Almo\\u00e7o \\\"especial\\\"\\n😀\",\"refs\":[\"a\\\\b\"]}");
        QTest::newRow("numbers") << QByteArray(
            R"({"refs":[null],"result":[12345678901234567,-0.5,1e300,0],"ok":true})");
        QTest::newRow("a small object") << QByteArray(
            R"({"ok":true,"result":{"numero":"0000000007","lista":[true,false,null]},"refs":[{"x":1}]})");
        QTest::newRow("a null result") << QByteArray(R"({"ok":true,"result":null,"refs":[1]})");
    }
    void answersReadAsQtReadsThem()
    {
        QFETCH(QByteArray, body);
        const ServerResult r = parseRpcAnswer(body, 1, u"h:1"_s, u"M"_s);
        QVERIFY2(r.ok, qPrintable(r.error));
        const QJsonObject qt = QJsonDocument::fromJson(body).object();
        QCOMPARE(r.data.type(), qt.value(u"result"_s).type());
        QCOMPARE(r.data.hasJson(), qt.value(u"result"_s).isObject());
        QCOMPARE(r.data.value(), qt.value(u"result"_s));
        QCOMPARE(r.refs, qt.value(u"refs"_s).toArray());
    }

    // A packet result loads from its text (setData of CheckResultServ) into the same table,
    // or with the same error, as from the QJsonObject the answer used to become.
    void packetAnswersLoadAsTheirObject_data()
    {
        QTest::addColumn<QByteArray>("packet");
        const QByteArray f = R"("fields":[{"name":"NMSERVICO","type":"string","size":40},)"
                             R"({"name":"QT","type":"float"},{"name":"ATIVO","type":"boolean"}])";
        QTest::newRow("texts repeated, escaped, a null between")
            << "{" + f
                   + ",\"rows\":[[\"Almoço \\\"x\\\"\",1,true],[\"Almoço \\\"x\\\"\",2,false],[null,null,null],"
                     "[\"Almoço \\\"x\\\"\",3,null],[\"Almo\\u00e7o "
                     "\\\"x\\\"\",4,true],[\"😀\\n\",5,true],[\"\",0,false]]}";
        QTest::newRow("rows before the fields, another member, spaces")
            << R"({ "rows" : [ ["a", 1, true] , ["a", 1.5, false] ], "extra": {"x": [1]}, )" + f + " }";
        QTest::newRow("a short row") << "{" + f + R"(,"rows":[["a",1,true],["b",2]]})";
        QTest::newRow("a text for a number") << "{" + f + R"(,"rows":[["a","1",true]]})";
        QTest::newRow("no rows") << "{" + f + "}";
    }
    void packetAnswersLoadAsTheirObject()
    {
        QFETCH(QByteArray, packet);
        const ServerResult r =
            parseRpcAnswer(R"({"ok":true,"result":)" + packet + R"(,"refs":[]})", 0, u"h:1"_s, u"M"_s);
        QVERIFY2(r.ok, qPrintable(r.error));
        QVERIFY(r.data.hasJson());
        const QJsonObject object = QJsonDocument::fromJson(packet).object();
        const auto load = [](TClientDataSet &table, const auto &result) {
            try {
                table.setData(result);
                return QString();
            } catch (const EDatabaseError &e) {
                return e.text();
            }
        };
        TClientDataSet fromText(u"qryServ"_s), fromObject(u"qryServ"_s);
        QCOMPARE(load(fromText, CheckResultServ(r, true, 0)), load(fromObject, QJsonValue(object)));
        QCOMPARE(fromText.dataPacketJson(), fromObject.dataPacketJson());
        QCOMPARE(r.data.toObject(), object); // built from the kept text when asked
    }

    // Results a table refuses: the envelope's reader walks an object result only for its
    // structure, so a bad value inside it is found when the packet is loaded.
    void resultsATableRefuses_data()
    {
        QTest::addColumn<QByteArray>("result");
        QTest::addColumn<QString>("error");
        QTest::newRow("a bad value inside the packet")
            << QByteArray(R"({"fields":[{"name":"A","type":"boolean"}],"rows":[[tru]]})")
            << u"qryServ: Malformed data packet: a value was expected at offset 55"_s;
        QTest::newRow("not a packet") << QByteArray(R"("0000000007")")
                                      << u"qryServ: Malformed data packet: not a JSON object"_s;
    }
    void resultsATableRefuses()
    {
        QFETCH(QByteArray, result);
        QFETCH(QString, error);
        const ServerResult r =
            parseRpcAnswer(R"({"ok":true,"result":)" + result + R"(,"refs":[]})", 0, u"h:1"_s, u"M"_s);
        QVERIFY2(r.ok, qPrintable(r.error));
        TClientDataSet table(u"qryServ"_s);
        try {
            table.setData(CheckResultServ(r, true, 0));
            QFAIL("setData did not throw");
        } catch (const EDatabaseError &e) {
            QCOMPARE(e.text(), error);
        }
    }

    void reconnectsWhenTheServerClosedTheIdleConnection()
    {
        // The server drops a kept-alive connection after one idle second.
        RpcTestServer server(testModule, 1);
        TNetConnection net;
        pointAt(net, server.port());
        QVERIFY(net.call(u"Eco"_s).ok);
        QTest::qWait(2200);
        const ServerResult r = net.call(u"Eco"_s);
        QVERIFY2(r.ok, qPrintable(r.error));
        const QList<int> ports = server.remotePorts();
        QCOMPARE(ports.size(), 2);
        QVERIFY(ports[0] != ports[1]); // the second call came on a new connection
    }

    void retriesOnceWhenAReusedConnectionIsDropped()
    {
        DroppingServer server;
        {
            TNetConnection net;
            pointAt(net, server.port);
            QVERIFY(net.call(u"A"_s).ok);
            const ServerResult r = net.call(u"B"_s);
            QVERIFY2(r.ok, qPrintable(r.error));
        }
        QCOMPARE(server.connections, 2);
    }

    void aServerThatStoppedIsReportedNamingHostAndPort()
    {
        auto server = std::make_unique<RpcTestServer>(testModule, 1); // stops within its idle time-out
        const int port = server->port();
        TNetConnection net;
        pointAt(net, port);
        QVERIFY(net.call(u"Eco"_s).ok);
        server.reset();
        const ServerResult r = net.call(u"Eco"_s);
        QVERIFY(!r.ok);
        QCOMPARE(r.error,
                 u"Não foi possível conectar ao servidor de aplicação em 127.0.0.1:%1: conexão recusada."_s.arg(port));
    }

    void nothingListening()
    {
        RefusingPort nobody;
        const QString text =
            u"Não foi possível conectar ao servidor de aplicação em 127.0.0.1:%1: conexão recusada."_s.arg(nobody.port);
        TNetConnection net;
        pointAt(net, nobody.port);
        net.setConnected(true);
        QVERIFY(!net.connected());
        QCOMPARE(net.lastError(), text);
        // A call connects first, and tells why it could not.
        const ServerResult r = net.call(u"Eco"_s);
        QVERIFY(!r.ok);
        QCOMPARE(r.error, text);

        net.setThrowException(true);
        QVERIFY_THROWS_EXCEPTION(EKprError, net.setConnected(true));
        QVERIFY_THROWS_EXCEPTION(EKprError, net.call(u"Eco"_s));

        TNetConnection unset;
        QVERIFY(!unset.open());
        QCOMPARE(unset.lastError(), u"O endereço do servidor de aplicação não foi informado."_s);
    }

    void aServerThatNeverAnswersTimesOut()
    {
        SilentPort silent;
        TNetConnection net;
        pointAt(net, silent.port);
        net.setCallTimeout(300);
        QElapsedTimer clock;
        clock.start();
        const ServerResult r = net.call(u"GetClieFili"_s, {rpcArg(u"0001")});
        QVERIFY(!r.ok);
        QCOMPARE(r.error,
                 u"O servidor de aplicação em 127.0.0.1:%1 não respondeu à chamada de GetClieFili em 0,3 s."_s.arg(
                     silent.port));
        QVERIFY(clock.elapsed() < 10000); // one time-out, no retry that doubles it, no hang
    }

    void beforeConnectRunsBeforeEachConnect()
    {
        RpcTestServer first(testModule), second(testModule);
        TNetConnection net;
        net.setObjectName(u"netCFR"_s);
        net.setServerName(u"Kpr04700.rdmCFR"_s);
        // The handler is the only source of host and port, read again at each connect.
        int port = first.port();
        QStringList seen;
        connect(&net, &TNetConnection::BeforeConnect, this, [&](QObject *sender) {
            seen.append(sender->objectName());
            auto *c = qobject_cast<TNetConnection *>(sender);
            c->setHost(u"127.0.0.1"_s);
            c->setPort(port);
        });

        net.setConnected(true);
        QVERIFY2(net.connected(), qPrintable(net.lastError()));
        QCOMPARE(seen, QStringList{u"netCFR"_s});
        QVERIFY(net.call(u"Eco"_s).ok);
        net.setConnected(true); // already connected: no new connect
        QCOMPARE(seen.size(), 1);

        port = second.port();
        net.setConnected(false);
        QVERIFY(net.call(u"Eco"_s).ok); // connects first, through the handler
        QCOMPARE(seen.size(), 2);
        QCOMPARE(first.bodies().size(), 1);
        QCOMPARE(second.bodies().size(), 1);
    }

    void aReplacedTransportSeesEveryCall()
    {
        TNetConnection net;
        net.setServerName(u"Kpr04700.rdmCFR"_s);
        auto *recorder = new RecordingTransport([](const QString &method, const QJsonArray &args) {
            if (method == u"GetSequencial")
                return ServerResult::success(u""_s, args);
            return ServerResult::failure(u"não previsto"_s);
        });
        net.setTransport(std::unique_ptr<RpcTransport>(recorder));
        QJsonArray args{45292, u"0001"_s, u"_0001_"_s, u"0000000001"_s, u"0001"_s, u"1"_s};
        QVERIFY(net.call(u"GetSequencial"_s, args).ok);
        QVERIFY(!net.call(u"ProPrxRelApurFat"_s, {rpcArg(u"0001")}).ok);
        QCOMPARE(recorder->methods(), (QStringList{u"GetSequencial"_s, u"ProPrxRelApurFat"_s}));
        QCOMPARE(recorder->calls().at(0).module, u"Kpr04700.rdmCFR"_s);
        QCOMPARE(recorder->calls().at(1).args, QJsonArray{u"0001"_s});
    }
};

QTEST_GUILESS_MAIN(TstNetConnection)
#include "tst_netconnection.moc"
