#include "appserver/server/request.h"

#include "appserver/jsontext.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver {

Result<RpcRequest> parseRpcRequest(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError) {
        // Qt reads only objects and arrays at the top; a lone text or number is valid JSON
        // that is not a request.
        QJsonParseError inList;
        const QJsonDocument wrapped = QJsonDocument::fromJson('[' + body + ']', &inList);
        if (inList.error == QJsonParseError::NoError && wrapped.array().size() == 1)
            return makeError(u"Requisição inválida: o corpo deve ser um objeto JSON."_s);
        return makeError(
            u"Requisição inválida: o corpo não é um JSON válido (%1 na posição %2)."_s.arg(error.errorString())
                .arg(error.offset));
    }
    if (!doc.isObject())
        return makeError(u"Requisição inválida: o corpo deve ser um objeto JSON."_s);
    const QJsonObject o = doc.object();
    const QJsonValue method = o.value(u"method"_s);
    if (!method.isString())
        return makeError(u"Requisição inválida: falta o campo \"method\" (texto)."_s);
    const QJsonValue args = o.value(u"args"_s);
    if (!args.isArray())
        return makeError(u"Requisição inválida: falta o campo \"args\" (lista)."_s);
    return RpcRequest{method.toString(), args.toArray()};
}

QByteArray answerBody(const rdmcfr::CallOutcome &outcome, const QJsonArray &refs)
{
    QByteArray out;
    if (outcome.ok) {
        const QByteArray result = outcome.answer.jsonText();
        out.reserve(result.size() + 64);
        out += "{\"ok\":true,\"result\":";
        out += result;
        out += ",\"refs\":";
        out += QJsonDocument(refs).toJson(QJsonDocument::Compact);
        out += '}';
    } else {
        out += "{\"ok\":false,\"error\":";
        appendJsonString(out, outcome.error);
        out += '}';
    }
    return out;
}

QByteArray errorBody(const QString &error)
{
    return QJsonDocument(QJsonObject{{u"ok"_s, false}, {u"error"_s, error}}).toJson(QJsonDocument::Compact);
}

} // namespace kpr::appserver
