#include "framework/net/rpcanswer.h"

#include "framework/core/paddedjson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <simdjson.h>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {

namespace od = simdjson::ondemand;

QString badAnswerText(const QString &where, const QString &method, const QString &detail)
{
    return u"O servidor de aplicação em %1 enviou uma resposta inválida à chamada de %2: %3."_s.arg(where, method,
                                                                                                    detail);
}

// How deep the answer's members may nest: far beyond any argument of the protocol, and
// shallow enough that reading them can never exhaust the stack.
constexpr int kMaxDepth = 64;

// A value of the answer other than an object result, as a QJsonValue (refs, texts,
// numbers: small). Integers keep every digit, as QJsonDocument keeps them.
simdjson::error_code toJsonValue(od::value v, QJsonValue *out, int depth = 0)
{
    if (depth > kMaxDepth)
        return simdjson::DEPTH_ERROR;
    od::json_type type;
    if (const auto code = v.type().get(type))
        return code;
    switch (type) {
    case od::json_type::null: {
        bool isNull = false;
        if (const auto code = v.is_null().get(isNull))
            return code;
        *out = QJsonValue(QJsonValue::Null);
        return isNull ? simdjson::SUCCESS : simdjson::N_ATOM_ERROR;
    }
    case od::json_type::boolean: {
        bool b = false;
        if (const auto code = v.get_bool().get(b))
            return code;
        *out = b;
        return simdjson::SUCCESS;
    }
    case od::json_type::number: {
        od::number n;
        if (const auto code = v.get_number().get(n))
            return code;
        if (n.is_int64())
            *out = qint64(n.get_int64());
        else
            *out = n.as_double();
        return simdjson::SUCCESS;
    }
    case od::json_type::string: {
        std::string_view s;
        if (const auto code = v.get_string().get(s))
            return code;
        *out = QString::fromUtf8(s.data(), qsizetype(s.size()));
        return simdjson::SUCCESS;
    }
    case od::json_type::array: {
        od::array items;
        if (const auto code = v.get_array().get(items))
            return code;
        QJsonArray list;
        for (auto item : items) {
            od::value iv;
            QJsonValue converted;
            if (auto code = item.get(iv); code || (code = toJsonValue(iv, &converted, depth + 1)))
                return code;
            list.append(converted);
        }
        *out = list;
        return simdjson::SUCCESS;
    }
    case od::json_type::object: {
        od::object members;
        if (const auto code = v.get_object().get(members))
            return code;
        QJsonObject obj;
        for (auto member : members) {
            od::field m;
            std::string_view key;
            QJsonValue converted;
            if (auto code = std::move(member).get(m);
                code || (code = m.unescaped_key().get(key)) || (code = toJsonValue(m.value(), &converted, depth + 1)))
                return code;
            obj.insert(QString::fromUtf8(key.data(), qsizetype(key.size())), converted);
        }
        *out = obj;
        return simdjson::SUCCESS;
    }
    }
    return simdjson::INCORRECT_TYPE;
}

// The members of the answer envelope, read in one pass with simdjson's On Demand API. An
// object result is kept as its text, with room after it for the packet reader's padding,
// and is not walked here; every other member is read whole, so that a malformed one is
// found now.
struct Envelope
{
    QJsonValue ok, error, refs;
    ServerValue result;
};

simdjson::error_code readEnvelope(const QByteArray &body, Envelope *out)
{
    const PaddedJson text(body);
    od::parser parser;
    od::document doc;
    od::object answer;
    if (auto code = parser.iterate(text.view).get(doc); code || (code = doc.get_object().get(answer)))
        return code;
    for (auto member : answer) {
        od::field m;
        std::string_view key;
        if (auto code = std::move(member).get(m); code || (code = m.unescaped_key().get(key)))
            return code;
        od::value v = m.value();
        od::json_type type;
        if (const auto code = v.type().get(type))
            return code;
        if (key == "result" && type == od::json_type::object) {
            od::object result;
            std::string_view raw;
            if (auto code = v.get_object().get(result); code || (code = result.raw_json().get(raw)))
                return code;
            QByteArray kept;
            kept.reserve(qsizetype(raw.size() + simdjson::SIMDJSON_PADDING));
            kept.append(raw.data(), qsizetype(raw.size()));
            out->result = ServerValue::fromObjectJson(std::move(kept));
            continue;
        }
        QJsonValue value;
        if (const auto code = toJsonValue(v, &value))
            return code;
        if (key == "ok")
            out->ok = value;
        else if (key == "error")
            out->error = value;
        else if (key == "refs")
            out->refs = value;
        else if (key == "result")
            out->result = value;
    }
    // Anything after the envelope's closing brace.
    if (const char *at = nullptr; !doc.current_location().get(at))
        return simdjson::TRAILING_CONTENT;
    return simdjson::SUCCESS;
}

} // namespace

ServerResult parseRpcAnswer(const QByteArray &body, int argCount, const QString &where, const QString &method)
{
    Envelope answer;
    if (const auto code = readEnvelope(body, &answer)) {
        // What is wrong, in Qt's words as the user has always read them; Qt's parser reads
        // the body on this path only.
        QJsonParseError parseError;
        const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
        if (parseError.error != QJsonParseError::NoError)
            return ServerResult::failure(
                badAnswerText(where, method, u"não é JSON (%1)"_s.arg(parseError.errorString())));
        if (!doc.isObject())
            return ServerResult::failure(badAnswerText(where, method, u"não é um objeto JSON"_s));
        // What only simdjson refuses (an unknown escape in a text, say).
        return ServerResult::failure(
            badAnswerText(where, method, u"não é JSON (%1)"_s.arg(QString::fromUtf8(simdjson::error_message(code)))));
    }
    if (!answer.ok.isBool())
        return ServerResult::failure(badAnswerText(where, method, u"falta o campo \"ok\""_s));

    if (!answer.ok.toBool()) {
        const QString text = answer.error.toString().trimmed();
        if (text.isEmpty())
            return ServerResult::failure(
                u"O servidor de aplicação informou uma falha na chamada de %1, sem descrição."_s.arg(method));
        return ServerResult::failure(text);
    }

    // Every argument comes back, so that a by-reference one never silently keeps its
    // old value because the server forgot it.
    if (!answer.refs.isArray())
        return ServerResult::failure(badAnswerText(where, method, u"falta o campo \"refs\""_s));
    const QJsonArray refs = answer.refs.toArray();
    if (refs.size() != argCount)
        return ServerResult::failure(
            badAnswerText(where, method, u"\"refs\" traz %1 argumentos em vez de %2"_s.arg(refs.size()).arg(argCount)));
    return ServerResult::success(std::move(answer.result), refs);
}

} // namespace kpr
