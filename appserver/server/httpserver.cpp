#include "appserver/server/httpserver.h"

#include "appserver/rdmcfr/methodtable.h"
#include "appserver/server/request.h"
#include "appserver/server/workerpool.h"

#include <httplib.h>

#include <chrono>

#include <sys/socket.h>

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver {

namespace {

const char *const kJson = "application/json; charset=utf-8";
const QString kModule = u"Kpr04700.rdmCFR"_s;

void answerError(httplib::Response &res, int status, const QString &text)
{
    res.status = status;
    const QByteArray body = errorBody(text);
    res.set_content(body.constData(), size_t(body.size()), kJson);
}

// Counts a request as running for as long as it is handled.
// What httplib owns (and deletes when listening ends): the pool itself must outlive the
// workers that are still holding idle connections.
class PoolHandle : public httplib::TaskQueue
{
public:
    explicit PoolHandle(WorkerPool *pool) : m_pool(pool) {}
    void enqueue(std::function<void()> fn) override { m_pool->enqueue(std::move(fn)); }
    void shutdown() override { m_pool->shutdown(); }

private:
    WorkerPool *m_pool;
};

struct ActiveCall
{
    std::atomic<int> &count;
    explicit ActiveCall(std::atomic<int> &c) : count(c) { ++count; }
    ~ActiveCall() { --count; }
};

} // namespace

RpcServer::RpcServer(ServerOptions options)
    : m_options(options), m_http(std::make_unique<httplib::Server>())
{
    m_http->set_tcp_nodelay(true);
    m_http->set_keep_alive_max_count(1000000000);
    m_http->set_keep_alive_timeout(m_options.keepAliveSeconds);
    m_http->set_payload_max_length(m_options.maxBody);
    // The library listens with a backlog of 5 (compiled in): a burst of new clients
    // overflows it and waits out a SYN retransmission. Remember the listening socket to
    // raise the backlog once it listens.
    m_http->set_socket_options([this](socket_t sock) {
        httplib::default_socket_options(sock);
        m_listenSocket = sock;
    });
    m_http->new_task_queue = [this]() -> httplib::TaskQueue * {
        return new PoolHandle(m_pool.get());
    };
    routes();
}

RpcServer::~RpcServer()
{
    // Only reached when every worker has ended, or before run(); else the process exits
    // under the detached workers (see main.cpp).
}

void RpcServer::routes()
{
    m_http->Post(R"(/rpc/(.*))", [this](const httplib::Request &req, httplib::Response &res) {
        ActiveCall active(m_active);
        if (m_stopping)
            return answerError(res, 503, u"O servidor está sendo encerrado."_s);
        const QString module = QString::fromStdString(req.matches[1].str());
        if (module != kModule)
            return answerError(res, 404, u"Módulo \"%1\" não encontrado: use POST /rpc/Kpr04700.rdmCFR."_s
                                             .arg(module));
        const auto started = std::chrono::steady_clock::now();
        const auto request =
            parseRpcRequest(QByteArray::fromRawData(req.body.data(), qsizetype(req.body.size())));
        if (!request)
            return answerError(res, 400, request.error());
        const rdmcfr::CallOutcome outcome = rdmcfr::callMethod(request->method, request->args);
        // No method of this version changes its arguments: refs are the arguments.
        const QByteArray body = answerBody(outcome, request->args);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
        if (m_options.trace)
            m_options.trace->write(request->method, request->args, outcome.ok, ms);
        res.status = 200;
        res.set_content(body.constData(), size_t(body.size()), kJson);
    });
    m_http->Post(".*", [](const httplib::Request &req, httplib::Response &res) {
        answerError(res, 404, u"Caminho \"%1\" não encontrado: use POST /rpc/Kpr04700.rdmCFR."_s
                                  .arg(QString::fromStdString(req.path)));
    });
    const auto notPost = [](const httplib::Request &req, httplib::Response &res) {
        if (req.path.rfind("/rpc/", 0) == 0)
            return answerError(res, 405, u"Método HTTP não permitido: use POST /rpc/Kpr04700.rdmCFR."_s);
        answerError(res, 404, u"Caminho \"%1\" não encontrado: use POST /rpc/Kpr04700.rdmCFR."_s
                                  .arg(QString::fromStdString(req.path)));
    };
    m_http->Get(".*", notPost);
    m_http->Put(".*", notPost);
    m_http->Delete(".*", notPost);
    m_http->Patch(".*", notPost);
    // Answers httplib makes itself (bad HTTP, body over the limit) get a JSON text too.
    m_http->set_error_handler(httplib::Server::HandlerWithResponse(
        [this](const httplib::Request &, httplib::Response &res) {
        if (!res.body.empty())
            return httplib::Server::HandlerResponse::Unhandled;
        QString text;
        switch (res.status) {
        case 413:
            text = u"Requisição grande demais: o limite é de %1 bytes."_s.arg(m_options.maxBody);
            break;
        case 404:
            text = u"Caminho não encontrado: use POST /rpc/Kpr04700.rdmCFR."_s;
            break;
        default:
            text = u"Requisição inválida (HTTP %1)."_s.arg(res.status);
            break;
        }
        const QByteArray body = errorBody(text);
        res.set_content(body.constData(), size_t(body.size()), kJson);
        return httplib::Server::HandlerResponse::Handled;
    }));
    m_http->set_exception_handler(
        [](const httplib::Request &, httplib::Response &res, std::exception_ptr) {
            answerError(res, 500, u"Erro interno do servidor."_s);
        });
}

Result<int> RpcServer::bind(const QString &host, int port)
{
    const std::string h = host.toStdString();
    int bound = port;
    if (port == 0) {
        bound = m_http->bind_to_any_port(h);
        if (bound <= 0)
            return makeError(u"não foi possível escutar em %1:0."_s.arg(host));
    } else if (!m_http->bind_to_port(h, port)) {
        return makeError(u"não foi possível escutar em %1:%2 (endereço em uso ou inválido)."_s
                             .arg(host)
                             .arg(port));
    }
    if (m_listenSocket >= 0)
        ::listen(m_listenSocket, SOMAXCONN); // Linux takes a new backlog on a listening socket
    return bound;
}

void RpcServer::run()
{
    m_pool = std::make_unique<WorkerPool>(m_options.workers, m_options.maxWorkers,
                                          [this] { return m_active.load() == 0; });
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
