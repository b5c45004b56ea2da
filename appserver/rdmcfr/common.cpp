#include "appserver/rdmcfr/common.h"

using namespace Qt::Literals::StringLiterals;

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
            return makeError(s.dbError(done.error(), sql));
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
            return makeError(s.dbError(done.error(), sql));
        return *done;
    }
    auto q = s.run(sql, values);
    if (!q)
        return makeError(q.error());
    return q.value().numRowsAffected();
}

Result<std::optional<QString>> lockApuration(Session &s, const QString &number)
{
    static const QString plain = u"SELECT CDFILIAL FROM APURACAO WHERE NRAPURACGD = ?"_s;
    static const QString locking = plain + u" FOR UPDATE"_s;
    auto q = s.run(s.dialect() == Dialect::PostgreSQL ? locking : plain, {number});
    if (!q)
        return makeError(q.error());
    if (!q.value().next())
        return std::optional<QString>();
    return std::optional<QString>(q.value().value(0).toString());
}

} // namespace kpr::appserver::rdmcfr
