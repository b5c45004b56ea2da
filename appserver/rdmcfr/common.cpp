#include "appserver/rdmcfr/common.h"

namespace kpr::appserver::rdmcfr {

Result<Answer> packetFromQuery(Session &s, const QList<PacketField> &fields, const QString &sql,
                               const QVariantList &values, const ClientList &only)
{
    auto q = s.run(sql, values);
    if (!q)
        return makeError(q.error());
    Query &query = q.value();
    PacketBuilder packet(fields);
    while (query.next()) {
        if (only.all || only.contains(query.value(0).toString()))
            packet.addRow(query.sql());
    }
    return packet.answer();
}

Result<int> execute(Session &s, const QString &sql, const QVariantList &values)
{
    auto q = s.run(sql, values);
    if (!q)
        return makeError(q.error());
    return q.value().numRowsAffected();
}

} // namespace kpr::appserver::rdmcfr
