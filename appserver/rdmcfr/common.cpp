#include "appserver/rdmcfr/common.h"

namespace kpr::appserver::rdmcfr {

Result<Answer> packetFromQuery(Session &s, const QList<PacketField> &fields, const QString &sql,
                               const QVariantList &values, const ClientList &only)
{
    PacketBuilder packet(fields);
    if (SqliteStatements *fast = s.sqlite()) {
        const auto done = fast->run(sql, values, [&](const SqliteRow &row) {
            if (only.all || only.contains(QString::fromUtf8(row.text(0))))
                packet.addRow(row);
        });
        if (!done)
            return makeError(s.dbError(done.error()));
        return packet.answer();
    }
    auto q = s.run(sql, values);
    if (!q)
        return makeError(q.error());
    Query &query = q.value();
    while (query.next()) {
        if (only.all || only.contains(query.value(0).toString()))
            packet.addRow(query.sql());
    }
    return packet.answer();
}

Result<int> execute(Session &s, const QString &sql, const QVariantList &values)
{
    if (SqliteStatements *fast = s.sqlite()) {
        const auto done = fast->run(sql, values);
        if (!done)
            return makeError(s.dbError(done.error()));
        return *done;
    }
    auto q = s.run(sql, values);
    if (!q)
        return makeError(q.error());
    return q.value().numRowsAffected();
}

} // namespace kpr::appserver::rdmcfr
