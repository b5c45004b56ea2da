// libFuzzer target: the body of an RPC request as the application server parses it, and the
// error answer built from its refusal.
#include "appserver/server/request.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    const kpr::Result<kpr::appserver::RpcRequest> r = kpr::appserver::parseRpcRequest(body);
    if (!r)
        (void)kpr::appserver::errorBody(r.error());
    return 0;
}
