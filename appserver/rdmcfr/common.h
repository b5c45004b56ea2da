#pragma once
// What the method files share: a packet straight from one query, and the texts of dates.

#include "appserver/database/session.h"
#include "appserver/packet.h"

#include <QJsonValue>

namespace kpr::appserver::rdmcfr {

// Runs sql and answers its rows as a packet of fields (column i is field i).
Result<QJsonValue> packetFromQuery(Session &s, const QList<PacketField> &fields, const QString &sql,
                                   const QVariantList &values);

// Rows affected by one statement, as an error text on failure.
Result<int> execute(Session &s, const QString &sql, const QVariantList &values);

} // namespace kpr::appserver::rdmcfr
