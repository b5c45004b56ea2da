#pragma once
// The HTTP transport of Kpr04700.rdmCFR on cpp-httplib: POST /rpc/Kpr04700.rdmCFR, one
// call per request, answers and HTTP errors as docs/appserver-protocol.md lays down.
// httplib listens and accepts (plain or TLS); every accepted connection goes through the
// limits of connection.h before httplib parses its requests; who may call is checked
// before a request's body is read.

#include "appserver/server/access.h"
#include "appserver/server/connection.h"
#include "appserver/server/trace.h"
#include "framework/core/result.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>

namespace httplib {
class Server;
}

namespace kpr::appserver {

class WorkerPool;

struct ServerOptions
{
    ConnectionLimits limits; // the body limit, time-outs and connection counts
    int workers = 16;
    Credential credential; // none: calls need no credential (loopback only)
    QString tlsCert;       // both set: HTTPS
    QString tlsKey;
    TraceLog *trace = nullptr; // not owned; may be null
};

class RpcServer
{
public:
    explicit RpcServer(ServerOptions options);
    ~RpcServer();

    // Binds and listens (connections wait in the backlog until run()); the port bound,
    // which port 0 lets the system choose.
    Result<int> bind(const QString &host, int port);
    // Serves until stop(); returns once calls in progress have finished.
    void run();
    // From any thread (the signal thread): stop accepting, refuse further requests.
    void stop();

    // Whether run() has returned.
    bool finished() const;
    // Whether every worker thread ended (else some still hold idle connections).
    bool allWorkersJoined() const;

    // Used by the connection hand-over (httpserver.cpp).
    void admit(int fd);

private:
    void routes();
    // Who may call and what is refused before the body is read: true when res holds the
    // refusal. readBody: a small refused body may be read and dropped to keep the
    // connection (not while the client waits for "100 Continue" before sending it).
    bool screen(const httplib::Request &req, httplib::Response &res, bool readBody);

    ServerOptions m_options;
    std::unique_ptr<httplib::Server> m_http;
    SSL_CTX *m_tls = nullptr; // owned by m_http when serving HTTPS
    ConnectionTable m_table;
    std::function<bool(httplib::Stream &, bool, bool &)> m_process;
    std::unique_ptr<WorkerPool> m_pool; // created by run()
    std::atomic<int> m_active{0};
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_allJoined{true};
    std::atomic<bool> m_finished{false};
    int m_listenSocket = -1;
};

} // namespace kpr::appserver
