#pragma once
// Data packets: the whole content of a table as the application server sends and receives
// it, {"fields": [{"name", "type", "size", "flags"}, ...], "rows": [[...], ...]}, with the
// types string, fixedchar, float, integer, datetime (a day number) and boolean, and null for
// an empty value. Reading checks the whole packet and gives its columns ready for a table;
// a malformed packet gives an error text ("Malformed data packet: row 3 has 2 values for
// 4 fields").

#include "framework/core/result.h"
#include "framework/data/field.h"
#include "framework/data/packetfield.h"
#include "framework/data/storage.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>

#include <optional>
#include <vector>

namespace kpr {

QJsonArray providerFlagsToJson(TProviderFlags flags); // [] when none
QJsonValue cellToJson(TFieldType type, const detail::CellView &cell);

namespace detail {

struct PacketData
{
    std::vector<PacketField> fields;
    std::vector<Column> columns; // one per field, rowCount cells each
    size_t rowCount = 0;
};

Result<PacketData> readPacket(const QJsonObject &packet);
// Reads the packet text in one pass with simdjson's On Demand API, without building a JSON
// document first; in place when json has SIMDJSON_PADDING (64) bytes of room after its
// text (ServerValue's kept texts do), else from a padded copy.
Result<PacketData> readPacket(const QByteArray &json);

} // namespace detail
} // namespace kpr
