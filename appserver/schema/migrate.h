#pragma once
// Creates or migrates the server database to the newest schema version, on SQLite and
// PostgreSQL alike. Each version runs in one transaction: a failed migration leaves the
// database at the version it had.

#include "framework/core/result.h"

#include <QSqlDatabase>

namespace kpr::appserver {

int latestSchemaVersion();
// 0 for a database without our tables.
Result<int> schemaVersion(QSqlDatabase &db);
Status migrate(QSqlDatabase &db);
// Only up to version target (an older database, as a migration test starts from).
Status migrate(QSqlDatabase &db, int target);

// The statements of one migration file, split at ";" ending a line; comment lines dropped.
QStringList splitStatements(const QString &script);

} // namespace kpr::appserver
