#pragma once
// The way a TNetConnection's calls reach the application server. The HTTP transport is
// the one in use; tests put a recording stand-in in its place to check the order and
// the arguments of the calls a screen makes.

#include "framework/core/result.h"
#include "framework/core/serverresult.h"

#include <QJsonArray>
#include <QList>
#include <QString>

#include <functional>

namespace kpr {

struct RpcEndpoint
{
    QString host;
    int port = 0;
    int connectTimeoutMs = 5000;
    int callTimeoutMs = 30000;
    // File whose first line is the server's secret, sent as "Authorization: Bearer ...";
    // empty: no credential.
    QString secretFile;
    // https:// with the server's certificate and host name verified.
    bool tls = false;

    QString display() const; // "host:port", as failure texts name it
};

// One call of a sequence sent together.
struct RpcCall
{
    QString method;
    QJsonArray args;
};

// Takes the answer to one call of a sequence, in the order the calls were made; false
// stops the sequence after this answer. It may throw: the sequence then ends too.
using RpcAnswerFn = std::function<bool(ServerResult &&answer)>;

class RpcTransport
{
public:
    virtual ~RpcTransport();

    // Makes ready to call the server at endpoint; a failure text names host and port.
    virtual Status open(const RpcEndpoint &endpoint);
    virtual void close();

    // One call; every failure comes back inside the result, never as an exception.
    virtual ServerResult invoke(const QString &module, const QString &method, const QJsonArray &args) = 0;

    // Calls that do not depend on each other's answers, made in the given order. The
    // server sees them in that order and answers them in it; a transport that can write
    // them all before the first answer (HTTP/1.1 pipelining) saves a round trip per call.
    // Each answer goes to `answer` as it arrives. When `answer` stops the sequence (or
    // throws), the calls already written are still made by the server and their answers
    // dropped before this returns; this default makes each call only when the previous
    // answer asked for more. A failure of the connection is the answer of the call it hit;
    // the pipelining transport ends the sequence there.
    virtual void invokeInOrder(const QString &module, const QList<RpcCall> &calls, const RpcAnswerFn &answer);
};

} // namespace kpr
