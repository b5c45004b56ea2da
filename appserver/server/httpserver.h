#pragma once
// The HTTP transport of Kpr04700.rdmCFR on cpp-httplib: POST /rpc/Kpr04700.rdmCFR, one
// call per request, answers and HTTP errors as docs/appserver-protocol.md lays down.

#include "appserver/server/trace.h"
#include "framework/core/result.h"

#include <QString>

#include <atomic>
#include <memory>

namespace httplib {
class Server;
}

namespace kpr::appserver {

class WorkerPool;

struct ServerOptions
{
    size_t maxBody = 64 * 1024 * 1024;
    int workers = 16;
    int maxWorkers = 256;
    int keepAliveSeconds = 60;
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

private:
    void routes();

    ServerOptions m_options;
    std::unique_ptr<httplib::Server> m_http;
    std::unique_ptr<WorkerPool> m_pool; // created by run()
    std::atomic<int> m_active{0};
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_allJoined{true};
    std::atomic<bool> m_finished{false};
    int m_listenSocket = -1;
};

} // namespace kpr::appserver
