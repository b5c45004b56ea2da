#pragma once
// One RPC request as the transport receives it, and the answer it sends back
// (docs/appserver-protocol.md, "Wire format").

#include "appserver/rdmcfr/methodtable.h"
#include "framework/core/result.h"

#include <QByteArray>
#include <QJsonArray>
#include <QString>

namespace kpr::appserver {

struct RpcRequest
{
    QString method;
    QJsonArray args;
};

// The request in a body, or the text of the 400 answer.
Result<RpcRequest> parseRpcRequest(const QByteArray &body);

// {"ok": true, "result": ..., "refs": [...]} or {"ok": false, "error": "..."}.
QByteArray answerBody(const rdmcfr::CallOutcome &outcome, const QJsonArray &refs);
// {"ok": false, "error": "..."}, the body of every HTTP error answer.
QByteArray errorBody(const QString &error);

} // namespace kpr::appserver
