#include "appserver/server/httpserver.h"

#include "appserver/rdmcfr/methodtable.h"
#include "appserver/server/request.h"
#include "appserver/server/workerpool.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <strings.h>

#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver {

namespace {

const char *const kJson = "application/json; charset=utf-8";
const QString kModule = u"Kpr04700.rdmCFR"_s;
// The largest body of a refused request read (and dropped) to keep its connection open.
constexpr unsigned long long kSkippedBody = 64 * 1024;

void answerError(httplib::Response &res, int status, const QString &text)
{
    res.status = status;
    const QByteArray body = errorBody(text);
    res.set_content(body.constData(), size_t(body.size()), kJson);
}

// The connection ends after this answer: the request's body, if any, was not read.
void closeAfterAnswer(httplib::Response &res)
{
    res.set_header("Connection", "close");
    if (GuardedStream *stream = GuardedStream::current())
        stream->closeAfterAnswer();
}

// The declared Content-Length: 0 when absent, nullopt when it is not a number.
std::optional<unsigned long long> contentLength(const httplib::Request &req)
{
    if (!req.has_header("Content-Length"))
        return 0ULL;
    const std::string text = req.get_header_value("Content-Length");
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 18)
        return std::nullopt;
    return std::stoull(text);
}

bool hasBody(const httplib::Request &req)
{
    return req.has_header("Transfer-Encoding") || contentLength(req).value_or(1) > 0;
}

// httplib hands every accepted connection to the task queue as a job that calls the
// server's process_and_close_socket(sock). The hand-over runs that job at once on the
// accepting thread with this flag set, so that the override only passes the socket back:
// the admission (limits, refusals with 503) then happens before any worker is taken, and
// nothing waits in a queue.
thread_local bool t_handingOver = false;
thread_local int t_handedSocket = -1;

template<class Base>
class GuardedServer final : public Base
{
public:
    template<class... Args>
    explicit GuardedServer(Args &&...args) : Base(std::forward<Args>(args)...)
    {}

    bool processRequest(httplib::Stream &stream, bool closeConnection, bool &connectionClosed)
    {
        return this->process_request(stream, closeConnection, connectionClosed, nullptr);
    }

private:
    bool process_and_close_socket(socket_t sock) override
    {
        if (t_handingOver) {
            t_handedSocket = sock;
            return true;
        }
        ::close(sock); // not reached: every job comes through the hand-over
        return false;
    }
};

// What httplib owns (and deletes when listening ends): the pool itself must outlive the
// workers that are still holding idle connections.
class PoolHandle : public httplib::TaskQueue
{
public:
    PoolHandle(WorkerPool *pool, RpcServer *server) : m_pool(pool), m_server(server) {}
    void enqueue(std::function<void()> fn) override
    {
        t_handingOver = true;
        t_handedSocket = -1;
        fn();
        t_handingOver = false;
        if (t_handedSocket >= 0)
            m_server->admit(t_handedSocket);
    }
    void shutdown() override { m_pool->shutdown(); }

private:
    WorkerPool *m_pool;
    RpcServer *m_server;
};

// Counts a request as running for as long as it is handled.
struct ActiveCall
{
    std::atomic<int> &count;
    explicit ActiveCall(std::atomic<int> &c) : count(c) { ++count; }
    ~ActiveCall() { --count; }
};

} // namespace

RpcServer::RpcServer(ServerOptions options) : m_options(std::move(options)), m_table(m_options.limits)
{
    if (!m_options.tlsCert.isEmpty()) {
        const std::string cert = m_options.tlsCert.toStdString();
        const std::string key = m_options.tlsKey.toStdString();
        auto tls = std::make_unique<GuardedServer<httplib::SSLServer>>(cert.c_str(), key.c_str());
        m_tls = tls->is_valid() ? tls->ssl_context() : nullptr;
        auto *server = tls.get();
        m_process = [server](httplib::Stream &s, bool close, bool &closed) {
            return server->processRequest(s, close, closed);
        };
        m_http = std::move(tls);
    } else {
        auto plain = std::make_unique<GuardedServer<httplib::Server>>();
        auto *server = plain.get();
        m_process = [server](httplib::Stream &s, bool close, bool &closed) {
            return server->processRequest(s, close, closed);
        };
        m_http = std::move(plain);
    }
    m_http->set_tcp_nodelay(true);
    m_http->set_keep_alive_max_count(1000000000);
    m_http->set_keep_alive_timeout(m_options.limits.keepAliveSeconds);
    m_http->set_payload_max_length(m_options.limits.maxBody);
    // The library listens with a backlog of 5 (compiled in): a burst of new clients
    // overflows it and waits out a SYN retransmission. Remember the listening socket to
    // raise the backlog once it listens.
    m_http->set_socket_options([this](socket_t sock) {
        httplib::default_socket_options(sock);
        m_listenSocket = sock;
    });
    m_http->new_task_queue = [this]() -> httplib::TaskQueue * { return new PoolHandle(m_pool.get(), this); };
    routes();
}

RpcServer::~RpcServer()
{
    // Only reached when every worker has ended, or before run(); else the process exits
    // under the detached workers (see main.cpp).
}

void RpcServer::admit(int fd)
{
    const std::string peer = peerAddress(fd);
    switch (m_table.admit(fd, peer)) {
    case ConnectionTable::Admission::Admitted: break;
    case ConnectionTable::Admission::TooManyTotal:
        if (m_tls)
            ::close(fd); // no answer can be read before a TLS handshake
        else
            refuseConnection(
                fd, u"O servidor de aplicação está com o máximo de %1 conexões; tente novamente em instantes."_s.arg(
                        m_options.limits.maxConnections));
        return;
    case ConnectionTable::Admission::TooManyFromClient:
        if (m_tls)
            ::close(fd);
        else
            refuseConnection(
                fd,
                u"O endereço %1 já tem o máximo de %2 conexões com o servidor de aplicação; tente novamente em instantes."_s
                    .arg(QString::fromStdString(peer))
                    .arg(m_options.limits.maxConnectionsPerClient));
        return;
    }
    SSL *ssl = m_tls ? SSL_new(m_tls) : nullptr;
    m_pool->enqueue([this, fd, ssl] { serveConnection(fd, ssl, m_options.limits, m_table, m_stopping, m_process); });
}

bool RpcServer::screen(const httplib::Request &req, httplib::Response &res, bool readBody)
{
    const auto refuse = [&](int status, const QString &text) {
        answerError(res, status, text);
        if (hasBody(req)) {
            // A small body of a declared length is read and dropped, so that the connection
            // stays usable; any other ends with the answer.
            const auto length = contentLength(req);
            GuardedStream *stream = GuardedStream::current();
            const bool skipped = readBody && !req.has_header("Transfer-Encoding") && length && *length <= kSkippedBody
                                 && stream && stream->skip(size_t(*length));
            if (!skipped)
                closeAfterAnswer(res);
        }
        return true;
    };
    if (m_stopping)
        return refuse(503, u"O servidor está sendo encerrado."_s);
    // A browser adds Origin to the requests a web page makes; no page may call the server.
    if (req.has_header("Origin"))
        return refuse(403, u"Acesso negado: chamadas feitas por páginas da web (cabeçalho Origin) não são aceitas."_s);
    if (!m_options.credential.accepts(req.get_header_value("Authorization"))) {
        res.set_header("WWW-Authenticate", "Bearer realm=\"kpr-appserver\"");
        return refuse(401,
                      req.has_header("Authorization")
                          ? u"Acesso negado: a credencial enviada não é a deste servidor de aplicação."_s
                          : u"Acesso negado: este servidor de aplicação exige a credencial (Authorization: Bearer); "
                            "configure WebSecretFile."_s);
    }
    if (req.path.rfind("/rpc/", 0) == 0) {
        if (req.method != "POST")
            return refuse(405, u"Método HTTP não permitido: use POST /rpc/Kpr04700.rdmCFR."_s);
        const QString module = QString::fromStdString(req.path.substr(5));
        if (module != kModule)
            return refuse(404, u"Módulo \"%1\" não encontrado: use POST /rpc/Kpr04700.rdmCFR."_s.arg(module));
    } else {
        return refuse(404, u"Caminho \"%1\" não encontrado: use POST /rpc/Kpr04700.rdmCFR."_s.arg(
                               QString::fromStdString(req.path)));
    }
    // Two ways to say where the body ends are how requests are smuggled past proxies.
    if (req.has_header("Transfer-Encoding")) {
        if (req.has_header("Content-Length"))
            return refuse(400, u"Requisição inválida: Transfer-Encoding e Content-Length juntos."_s);
        if (strcasecmp(req.get_header_value("Transfer-Encoding").c_str(), "chunked") != 0)
            return refuse(400, u"Requisição inválida: Transfer-Encoding \"%1\" não suportado."_s.arg(
                                   QString::fromStdString(req.get_header_value("Transfer-Encoding"))));
    }
    if (req.get_header_value_count("Content-Length") > 1 || !contentLength(req))
        return refuse(400, u"Requisição inválida: Content-Length repetido ou que não é um número."_s);
    if (*contentLength(req) > m_options.limits.maxBody)
        return refuse(413, u"Requisição grande demais: o limite é de %1 bytes."_s.arg(m_options.limits.maxBody));
    if (!isJsonContentType(req.get_header_value("Content-Type")))
        return refuse(415, u"Tipo de conteúdo não aceito: envie Content-Type: application/json."_s);
    // A Range header would make httplib cut the answer into byte ranges: answers are whole.
    const_cast<httplib::Request &>(req).ranges.clear();
    return false;
}

void RpcServer::routes()
{
    m_http->set_pre_routing_handler([this](const httplib::Request &req, httplib::Response &res) {
        return screen(req, res, true) ? httplib::Server::HandlerResponse::Handled
                                      : httplib::Server::HandlerResponse::Unhandled;
    });
    // A client that waits for "100 Continue" before sending the body is refused before it
    // sends it, not after.
    m_http->set_expect_100_continue_handler([this](const httplib::Request &req, httplib::Response &res) {
        return screen(req, res, false) ? res.status : 100;
    });
    // Only POST /rpc/Kpr04700.rdmCFR gets here (screen answers everything else). The body is
    // read through a receiver that counts the bytes as they arrive, decoded (chunked, gzip,
    // deflate), and stops at --max-body.
    m_http->Post(R"(/rpc/Kpr04700\.rdmCFR)", [this](const httplib::Request &req, httplib::Response &res,
                                                    const httplib::ContentReader &reader) {
        ActiveCall active(m_active);
        std::string received;
        bool tooLarge = false;
        const bool read = reader([&](const char *data, size_t length) {
            if (received.size() + length > m_options.limits.maxBody) {
                tooLarge = true;
                return false;
            }
            received.append(data, length);
            return true;
        });
        if (tooLarge) {
            closeAfterAnswer(res);
            return answerError(res, 413,
                               u"Requisição grande demais: o limite é de %1 bytes."_s.arg(m_options.limits.maxBody));
        }
        if (!read) {
            closeAfterAnswer(res);
            return answerError(res, 400,
                               u"Requisição inválida: o corpo não pôde ser lido (%1)."_s.arg(
                                   req.has_header("Content-Encoding") ? u"Content-Encoding \"%1\""_s.arg(
                                       QString::fromStdString(req.get_header_value("Content-Encoding")))
                                                                      : u"corpo incompleto"_s));
        }
        const auto started = std::chrono::steady_clock::now();
        const auto request = parseRpcRequest(QByteArray::fromRawData(received.data(), qsizetype(received.size())));
        if (!request)
            return answerError(res, 400, request.error());
        const rdmcfr::CallOutcome outcome = rdmcfr::callMethod(request->method, request->args);
        // No method of this version changes its arguments: refs are the arguments.
        const QByteArray body = answerBody(outcome, request->args);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
        if (m_options.trace)
            m_options.trace->write(request->method, request->args, outcome.ok, ms);
        res.status = 200;
        res.set_content(body.constData(), size_t(body.size()), kJson);
    });
    // Answers httplib makes itself (bad HTTP) get a JSON text too.
    m_http->set_error_handler(
        httplib::Server::HandlerWithResponse([this](const httplib::Request &, httplib::Response &res) {
            if (!res.body.empty())
                return httplib::Server::HandlerResponse::Unhandled;
            QString text;
            switch (res.status) {
            case 413:
                text = u"Requisição grande demais: o limite é de %1 bytes."_s.arg(m_options.limits.maxBody);
                break;
            case 404: text = u"Caminho não encontrado: use POST /rpc/Kpr04700.rdmCFR."_s; break;
            default: text = u"Requisição inválida (HTTP %1)."_s.arg(res.status); break;
            }
            const QByteArray body = errorBody(text);
            res.set_content(body.constData(), size_t(body.size()), kJson);
            return httplib::Server::HandlerResponse::Handled;
        }));
    m_http->set_exception_handler([](const httplib::Request &, httplib::Response &res, std::exception_ptr) {
        answerError(res, 500, u"Erro interno do servidor."_s);
    });
}

Result<int> RpcServer::bind(const QString &host, int port)
{
    if (!m_options.tlsCert.isEmpty() && !m_tls)
        return makeError(u"não foi possível carregar o certificado TLS %1 com a chave %2 (arquivos ilegíveis, "
                         "inválidos ou que não combinam)."_s.arg(m_options.tlsCert, m_options.tlsKey));
    const std::string h = host.toStdString();
    int bound = port;
    if (port == 0) {
        bound = m_http->bind_to_any_port(h);
        if (bound <= 0)
            return makeError(u"não foi possível escutar em %1:0."_s.arg(host));
    } else if (!m_http->bind_to_port(h, port)) {
        return makeError(u"não foi possível escutar em %1:%2 (endereço em uso ou inválido)."_s.arg(host).arg(port));
    }
    if (m_listenSocket >= 0)
        ::listen(m_listenSocket, SOMAXCONN); // Linux takes a new backlog on a listening socket
    return bound;
}

void RpcServer::run()
{
    // One worker per admitted connection at most: the table never admits more than
    // maxConnections, so a job never waits for a worker.
    m_pool = std::make_unique<WorkerPool>(std::min(m_options.workers, m_options.limits.maxConnections),
                                          m_options.limits.maxConnections, [this] { return m_active.load() == 0; });
    if (!m_stopping)
        m_http->listen_after_bind();
    // httplib has shut the pool down (see WorkerPool::shutdown) before returning.
    m_pool->shutdown();
    m_allJoined = m_pool->allJoined();
    m_finished = true;
}

bool RpcServer::finished() const
{
    return m_finished;
}

void RpcServer::stop()
{
    m_stopping = true;
    m_http->stop();
}

bool RpcServer::allWorkersJoined() const
{
    return m_allJoined;
}

} // namespace kpr::appserver
