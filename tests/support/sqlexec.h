#pragma once
// One statement with positional values on a test's own connection; a failure is logged
// with the statement and answers false, so a fixture can add up its writes.

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariantList>

namespace kpr::test {

inline bool execSql(const QSqlDatabase &db, const QString &sql, const QVariantList &values = {})
{
    QSqlQuery q(db);
    q.prepare(sql);
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec()) {
        qWarning().noquote() << sql << q.lastError().text();
        return false;
    }
    return true;
}

} // namespace kpr::test
