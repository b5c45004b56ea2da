#pragma once
// What the method files share: a packet straight from one query, and the texts of dates.

#include "appserver/database/session.h"
#include "appserver/packet.h"
#include "appserver/rdmcfr/clientlist.h"

#include <QJsonValue>

#include <optional>

namespace kpr::appserver::rdmcfr {

// Runs sql and answers its rows as a packet of fields (column i is field i); with a list,
// only the rows whose first column is a client of it.
Result<Answer> packetFromQuery(Session &s, const QList<PacketField> &fields, const QString &sql,
                               const QVariantList &values, const ClientList &only = {});

// Rows affected by one statement, as an error text on failure.
Result<int> execute(Session &s, const QString &sql, const QVariantList &values);

// Takes the apuration's row in APURACAO for the rest of the call's transaction, so that
// calls replacing or removing the rows of one number run one after the other: on
// PostgreSQL a row lock (SELECT ... FOR UPDATE) that a second caller waits on; on SQLite
// the write transaction already holds the only writer lock. Answers the branch the number
// was issued for, nullopt when it was never issued (nothing is locked then).
Result<std::optional<QString>> lockApuration(Session &s, const QString &number);

} // namespace kpr::appserver::rdmcfr
