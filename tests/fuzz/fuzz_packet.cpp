// libFuzzer target: a data packet loaded into an in-memory table, without and with
// persistent fields. Any input must load or be refused with a text, never crash.
#include "framework/data/clientdataset.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray json(reinterpret_cast<const char *>(data), qsizetype(size));
    kpr::TClientDataSet free;
    if (free.LoadFromPacket(json)) {
        for (free.First(); !free.Eof(); free.Next())
            for (const kpr::TField *f : free.Fields())
                (void)f->AsString();
        (void)free.dataPacketJson();
    }
    kpr::TClientDataSet typed;
    typed.AddField(QStringLiteral("CDCLIENTE"), kpr::ftString, 21);
    typed.AddField(QStringLiteral("QTSERV01"), kpr::ftFloat);
    typed.AddField(QStringLiteral("DTSERV01"), kpr::ftDateTime);
    (void)typed.LoadFromPacket(json);
    return 0;
}
