#pragma once
// Writes a demo data set into the server database: creates or migrates the schema, refuses
// a database that already holds data unless asked to replace it, and writes everything in
// one transaction, so that a failed run leaves the database as it was.

#include "appserver/demodata/generator.h"
#include "framework/core/result.h"

#include <QSqlDatabase>

namespace kpr::demodata {

struct WriteCounts
{
    qint64 filial = 0;
    qint64 cliente = 0;
    qint64 cliefili = 0;
    qint64 grupserv = 0;
    qint64 servfili = 0;
    qint64 precserv = 0;
    qint64 efetivo = 0;
};

// The first table of the business or apuration data that holds a row; empty when none does.
Result<QString> firstTableWithData(QSqlDatabase &db);

// replace: empty the data tables first. The counters and the record of issued apuration
// numbers stay, so that no number is ever issued twice.
Result<WriteCounts> writeDataSet(QSqlDatabase &db, const DataSet &data, bool replace);

// "FILIAL 2, CLIENTE 40, ..., EFETIVO 18760"
QString describeCounts(const WriteCounts &counts);

} // namespace kpr::demodata
