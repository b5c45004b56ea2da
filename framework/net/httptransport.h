#pragma once
// The application server protocol over HTTP/1.1: POST /rpc/<module> with
// {"method": ..., "args": [...]}, answered 200 {"ok": true, "result": ..., "refs": [...]}
// or 200 {"ok": false, "error": "..."}. One kept-alive connection, blocking on the
// calling thread with time-outs; no Qt event loop is entered.

#include "framework/net/rpcanswer.h"
#include "framework/net/rpctransport.h"

#include <memory>

namespace kpr {

class HttpRpcTransport : public RpcTransport
{
public:
    HttpRpcTransport();
    ~HttpRpcTransport() override;

    // Checks that something accepts connections at the endpoint, so that a wrong host
    // or port is reported when connecting rather than at the first call.
    Status open(const RpcEndpoint &endpoint) override;
    void close() override;
    ServerResult invoke(const QString &module, const QString &method, const QJsonArray &args) override;
    // Pipelined on a second kept-alive connection: all the requests are written before
    // the first answer is read.
    void invokeInOrder(const QString &module, const QList<RpcCall> &calls, const RpcAnswerFn &answer) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// Why nothing accepts a connection at host:port ("conexão recusada", ...), found by
// trying one plain TCP connection; the empty text when the connection succeeds.
QString connectFailureReason(const QString &host, int port, int timeoutMs);


} // namespace kpr
