// libFuzzer target: the layout reader. Any input must give a layout or an error text; a
// layout read must write back to text that reads again.
#include "framework/report/layoutfile.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray json(reinterpret_cast<const char *>(data), qsizetype(size));
    const kpr::Result<kpr::ReportLayout> layout = kpr::parseLayout(json, QStringLiteral("fuzz.QR2"));
    if (layout) {
        const kpr::Result<kpr::ReportLayout> again =
            kpr::parseLayout(kpr::writeLayout(*layout), QStringLiteral("fuzz.QR2"));
        if (!again)
            __builtin_trap(); // what the writer wrote, the reader must read
    }
    return 0;
}
