// libFuzzer target: an application server's answer as the client reads it, then its result
// loaded into an in-memory table and read as a JSON value. Any input must be taken or
// refused with a text, never crash.
#include "framework/data/clientdataset.h"
#include "framework/net/rpcanswer.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    const kpr::ServerResult r = kpr::parseRpcAnswer(body, 2, QStringLiteral("fuzz"), QStringLiteral("Metodo"));
    if (!r.ok)
        return 0;
    kpr::TClientDataSet table;
    if (table.LoadFromPacket(r.data))
        (void)table.RecordCount();
    (void)r.data.toObject(); // the value built from a kept text
    (void)r.refs.size();
    return 0;
}
