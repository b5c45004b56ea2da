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

} // namespace kpr
