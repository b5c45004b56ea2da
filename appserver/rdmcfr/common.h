#pragma once
// What the method files share: a packet straight from one query, and the texts of dates.

#include "appserver/database/session.h"
#include "appserver/packet.h"
#include "appserver/rdmcfr/clientlist.h"

#include <QJsonValue>

namespace kpr::appserver::rdmcfr {

// Runs sql and answers its rows as a packet of fields (column i is field i); with a list,
// only the rows whose first column is a client of it.
Result<Answer> packetFromQuery(Session &s, const QList<PacketField> &fields, const QString &sql,
                               const QVariantList &values, const ClientList &only = {});

// Rows affected by one statement, as an error text on failure.
Result<int> execute(Session &s, const QString &sql, const QVariantList &values);

} // namespace kpr::appserver::rdmcfr
