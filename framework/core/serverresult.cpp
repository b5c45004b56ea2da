#include "framework/core/serverresult.h"

#include "framework/core/abort.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr {

ServerResult ServerResult::success(QJsonValue data, QJsonArray refs)
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

QJsonValue CheckResultServ(const ServerResult &result, bool abort, int code)
{
    Q_UNUSED(code);
    if (result.ok)
        return result.data;
    MensErro(result.error.isEmpty() ? u"O servidor de aplicação informou uma falha."_s : result.error, abort);
    return QJsonValue();
}

} // namespace kpr
