#include "framework/core/serverresult.h"

#include "framework/core/abort.h"

#include <QJsonDocument>

#include <mutex>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

// The text and the value built from it the first time someone asks; shared by the copies
// of a result, which may be read from more than one thread.
struct ServerValue::Kept
{
    QByteArray json;
    mutable std::once_flag built;
    mutable QJsonValue value;
};

ServerValue ServerValue::fromObjectJson(QByteArray json)
{
    ServerValue v;
    auto kept = std::make_shared<Kept>();
    kept->json = std::move(json);
    v.m_json = std::move(kept);
    return v;
}

const QByteArray &ServerValue::json() const
{
    static const QByteArray none;
    return m_json ? m_json->json : none;
}

const QJsonValue &ServerValue::value() const
{
    if (!m_json)
        return m_value;
    std::call_once(m_json->built, [k = m_json.get()] { k->value = QJsonDocument::fromJson(k->json).object(); });
    return m_json->value;
}

ServerResult ServerResult::success(QJsonValue data, QJsonArray refs)
{
    return success(ServerValue(std::move(data)), std::move(refs));
}

ServerResult ServerResult::success(ServerValue data, QJsonArray refs)
{
    ServerResult r;
    r.ok = true;
    r.data = std::move(data);
    r.refs = std::move(refs);
    return r;
}

ServerResult ServerResult::failure(QString error)
{
    ServerResult r;
    r.ok = false;
    r.error = std::move(error);
    return r;
}

ServerValue CheckResultServ(const ServerResult &result, bool abort, int code)
{
    Q_UNUSED(code);
    if (result.ok)
        return result.data;
    MensErro(result.error.isEmpty() ? u"O servidor de aplicação informou uma falha."_s : result.error, abort);
    return ServerValue();
}

} // namespace kpr
