#include "framework/net/rpctransport.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr {

QString RpcEndpoint::display() const
{
    return u"%1:%2"_s.arg(host).arg(port);
}

RpcTransport::~RpcTransport() = default;

Status RpcTransport::open(const RpcEndpoint &)
{
    return {};
}

void RpcTransport::close() {}

void RpcTransport::invokeInOrder(const QString &module, const QList<RpcCall> &calls, const RpcAnswerFn &answer)
{
    for (const RpcCall &c : calls) {
        if (!answer(invoke(module, c.method, c.args)))
            return;
    }
}

} // namespace kpr
