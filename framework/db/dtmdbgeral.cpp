#include "framework/db/dtmdbgeral.h"

#include "framework/core/abort.h"
#include "framework/settings/context.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {
DatabaseUrl::Kind &openKind()
{
    static DatabaseUrl::Kind k = DatabaseUrl::Kind::SQLite;
    return k;
}
} // namespace

QString dtmDBGeral::connectionName()
{
    return u"dtmDBGeral"_s;
}

Status dtmDBGeral::open()
{
    return open(Context::instance().values().Database);
}

Status dtmDBGeral::open(const QString &url)
{
    close();
    const auto parsed = DatabaseUrl::parse(url);
    if (!parsed)
        return makeError(parsed.error());
    auto db = openDatabase(*parsed, connectionName());
    if (!db) {
        close(); // a connection that failed half-way (its set-up statements) is not kept
        return makeError(db.error());
    }
    openKind() = parsed->kind;
    return {};
}

bool dtmDBGeral::isOpen()
{
    return QSqlDatabase::contains(connectionName()) && QSqlDatabase::database(connectionName(), false).isOpen();
}

QSqlDatabase dtmDBGeral::database()
{
    if (!isOpen()) {
        if (auto st = open(); !st)
            throw EKprError(st.error());
    }
    return QSqlDatabase::database(connectionName(), false);
}

DatabaseUrl::Kind dtmDBGeral::kind()
{
    return openKind();
}

void dtmDBGeral::close()
{
    if (!QSqlDatabase::contains(connectionName()))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName(), false);
        db.close();
    } // the handle must be gone before the connection is removed
    QSqlDatabase::removeDatabase(connectionName());
    openKind() = DatabaseUrl::Kind::SQLite;
}

} // namespace kpr
