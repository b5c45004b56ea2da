#pragma once
// The way a TNetConnection's calls reach the application server. The HTTP transport is
// the one in use; tests put a recording stand-in in its place to check the order and
// the arguments of the calls a screen makes.

#include "framework/core/result.h"
#include "framework/core/serverresult.h"

#include <QJsonArray>
#include <QString>

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

class RpcTransport
{
public:
    virtual ~RpcTransport();

    // Makes ready to call the server at endpoint; a failure text names host and port.
    virtual Status open(const RpcEndpoint &endpoint);
    virtual void close();

    // One call; every failure comes back inside the result, never as an exception.
    virtual ServerResult invoke(const QString &module, const QString &method, const QJsonArray &args) = 0;
};

} // namespace kpr
