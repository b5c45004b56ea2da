#include "appserver/database/session.h"

#include <QSqlDriver>
#include <QSqlError>

#include <sqlite3.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
#include <set>

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver {

namespace {

std::mutex g_mutex; // guards g_url and g_sessions
std::optional<DatabaseUrl> g_url;
std::set<Session *> g_sessions;
std::atomic<int> g_counter{0};

// The driver's message without what follows its first line: PostgreSQL adds DETAIL and
// CONTEXT lines that quote the values of the row or of the bound parameters.
QString errorText(const QSqlError &e)
{
    QString t = e.databaseText().trimmed();
    if (t.isEmpty())
        t = e.text().trimmed();
    t = t.section(u'\n', 0, 0).trimmed();
    if (!e.nativeErrorCode().isEmpty())
        t += u" [%1]"_s.arg(e.nativeErrorCode());
    return t;
}

} // namespace

// Owns this thread's session; closes it when the thread ends.
struct SessionHolder
{
    std::unique_ptr<Session> session;
    ~SessionHolder()
    {
        if (!session)
            return;
        std::lock_guard lock(g_mutex);
        g_sessions.erase(session.get());
        session->close();
    }
};

namespace {
thread_local SessionHolder t_holder;
}

void Session::configure(const DatabaseUrl &url)
{
    std::lock_guard lock(g_mutex);
    g_url = url;
}

QString dbErrorText(const QString &method)
{
    return u"Erro no banco de dados em %1."_s.arg(method);
}

void logDbError(const QString &method, const QString &driverText, const QString &statement)
{
    QString line = u"erro no banco de dados em %1: %2"_s.arg(method, driverText);
    if (!statement.isEmpty())
        line += u" (instrução: %1)"_s.arg(QString(statement).replace(u'\n', u' '));
    // One write per line: lines of workers failing at once do not mix.
    const QByteArray text = "kpr-appserver: " + line.toUtf8() + '\n';
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
    std::fflush(stderr);
}

Result<Session *> Session::forThisThread(const QString &method)
{
    if (t_holder.session && !t_holder.session->m_closed && !t_holder.session->m_retired)
        return t_holder.session.get();
    DatabaseUrl url;
    {
        std::lock_guard lock(g_mutex);
        if (!g_url)
            return makeError(u"O servidor não tem banco de dados configurado."_s);
        url = *g_url;
    }
    if (t_holder.session) // retired at shutdown: do not reopen
        return makeError(u"O servidor está sendo encerrado."_s);
    std::unique_ptr<Session> s(new Session);
    s->m_connectionName = u"kpr-appserver-%1"_s.arg(++g_counter);
    s->m_dialect = url.kind == DatabaseUrl::Kind::SQLite ? Dialect::SQLite : Dialect::PostgreSQL;
    auto db = openDatabase(url, s->m_connectionName);
    if (!db) {
        logDbError(method, db.error());
        return makeError(dbErrorText(method));
    }
    s->m_db = *db;
    // PostgreSQL hands NUMERIC back as text unless told otherwise.
    s->m_db.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    if (s->m_dialect == Dialect::SQLite) {
        // ProRelGesDireta writes 300 000 rows in one statement: a page cache of up to
        // 64 MiB (taken only as it is used) keeps it off the disk until the commit.
        QSqlQuery pragma(s->m_db);
        pragma.exec(u"PRAGMA cache_size = -65536"_s);
        const QVariant handle = s->m_db.driver()->handle();
        if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0) {
            if (sqlite3 *raw = *static_cast<sqlite3 *const *>(handle.constData()))
                s->m_sqlite = std::make_unique<SqliteStatements>(raw);
        }
    }
    {
        std::lock_guard lock(g_mutex);
        g_sessions.insert(s.get());
    }
    t_holder.session = std::move(s);
    return t_holder.session.get();
}

QString Session::dbError(const QString &driverText, const QString &statement) const
{
    logDbError(m_method, driverText, statement);
    return dbErrorText(m_method);
}

Result<Query> Session::run(const QString &sql, const QVariantList &values)
{
    QSqlQuery *q = m_prepared.value(sql);
    if (!q) {
        auto fresh = std::make_unique<QSqlQuery>(m_db);
        fresh->setForwardOnly(true);
        if (!fresh->prepare(sql))
            return makeError(dbError(errorText(fresh->lastError()), sql));
        q = fresh.release();
        m_prepared.insert(sql, q);
    }
    for (int i = 0; i < values.size(); ++i)
        q->bindValue(i, values.at(i));
    if (!q->exec()) {
        const QString why = errorText(q->lastError());
        q->finish();
        return makeError(dbError(why, sql));
    }
    return Query(q);
}

Status Session::begin(Access access)
{
    if (access == Access::Read)
        return {};
    bool ok = false;
    QString why;
    if (m_dialect == Dialect::SQLite) {
        QSqlQuery q(m_db);
        ok = q.exec(u"BEGIN IMMEDIATE"_s);
        if (!ok)
            why = errorText(q.lastError());
    } else {
        ok = m_db.transaction();
        if (!ok)
            why = errorText(m_db.lastError());
    }
    if (!ok)
        return makeError(dbError(why, m_dialect == Dialect::SQLite ? u"BEGIN IMMEDIATE"_s : u"BEGIN"_s));
    m_inTransaction = true;
    return {};
}

Status Session::commit()
{
    if (!m_inTransaction)
        return {};
    m_inTransaction = false;
    bool ok = false;
    QString why;
    if (m_dialect == Dialect::SQLite) {
        QSqlQuery q(m_db);
        ok = q.exec(u"COMMIT"_s);
        if (!ok) {
            why = errorText(q.lastError());
            QSqlQuery r(m_db);
            r.exec(u"ROLLBACK"_s);
        }
    } else {
        ok = m_db.commit();
        if (!ok) {
            why = errorText(m_db.lastError());
            m_db.rollback();
        }
    }
    if (!ok)
        return makeError(dbError(why, u"COMMIT"_s));
    return {};
}

void Session::rollback()
{
    if (!m_inTransaction)
        return;
    m_inTransaction = false;
    if (m_dialect == Dialect::SQLite) {
        QSqlQuery q(m_db);
        q.exec(u"ROLLBACK"_s);
    } else {
        m_db.rollback();
    }
}

void Session::close()
{
    if (m_closed)
        return;
    m_closed = true;
    m_sqlite.reset(); // its statements go before the connection closes
    qDeleteAll(m_prepared);
    m_prepared.clear();
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

Session::~Session()
{
    close();
}

void releaseThisThreadSession()
{
    if (!t_holder.session)
        return;
    {
        std::lock_guard lock(g_mutex);
        g_sessions.erase(t_holder.session.get());
    }
    t_holder.session.reset();
}

void retireAllSessions()
{
    std::lock_guard lock(g_mutex);
    for (Session *s : g_sessions)
        s->m_retired = true;
}

} // namespace kpr::appserver
