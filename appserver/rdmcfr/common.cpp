#include "appserver/rdmcfr/common.h"

namespace kpr::appserver::rdmcfr {

Result<QJsonValue> packetFromQuery(Session &s, const QList<PacketField> &fields, const QString &sql,
                                   const QVariantList &values)
{
    auto q = s.run(sql, values);
    if (!q)
        return makeError(q.error());
    Query &query = q.value();
    PacketBuilder packet(fields);
    while (query.next())
        packet.addRow(query.sql());
    return QJsonValue(packet.toJson());
}

Result<int> execute(Session &s, const QString &sql, const QVariantList &values)
{
    auto q = s.run(sql, values);
    if (!q)
        return makeError(q.error());
    return q.value().numRowsAffected();
}

} // namespace kpr::appserver::rdmcfr
