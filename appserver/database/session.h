#pragma once
// One database connection per worker thread, opened on the thread's first call, with its
// prepared statements kept for the life of the thread. Every value reaches SQL as a bound
// parameter. A Session is only ever used, and closed, by the thread that owns it (a Qt
// database connection belongs to its thread); at shutdown retireAllSessions() only marks the
// sessions of workers still alive, so that no later call uses them.

#include "appserver/database/sqlitestatements.h"
#include "appserver/sqlvalue.h"
#include "framework/core/result.h"
#include "framework/db/databaseurl.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <atomic>
#include <memory>
#include <utility>

namespace kpr::appserver {

class Session;

// A prepared statement after exec with its values bound; finished (its read snapshot and
// locks released) when it goes out of scope.
class Query
{
public:
    explicit Query(QSqlQuery *q) : m_q(q) {}
    Query(Query &&other) noexcept : m_q(std::exchange(other.m_q, nullptr)) {}
    Query(const Query &) = delete;
    Query &operator=(const Query &) = delete;
    Query &operator=(Query &&) = delete;
    ~Query()
    {
        if (m_q)
            m_q->finish();
    }

    bool next() { return m_q->next(); }
    QVariant value(int i) const { return m_q->value(i); }
    const QSqlQuery &sql() const { return *m_q; }
    int numRowsAffected() const { return m_q->numRowsAffected(); }

private:
    QSqlQuery *m_q;
};

class Session
{
public:
    enum class Access { Read, Write };

    // The server's database, set once before the first call.
    static void configure(const DatabaseUrl &url);
    // This thread's session, opened on first use for a call of method. A connection that
    // cannot be opened is a database error: its reason goes to the log (logDbError).
    static Result<Session *> forThisThread(const QString &method);

    Dialect dialect() const { return m_dialect; }
    QVariant date(const QDate &d) const { return dateParam(d, m_dialect); }

    // Error texts name the method being served: "Erro no banco de dados em <method>.".
    void setMethod(const QString &method) { m_method = method; }

    // Prepares sql once per session, binds values in order, executes.
    Result<Query> run(const QString &sql, const QVariantList &values = {});

    // The same connection through the sqlite3 C API, for the hot statements; nullptr on
    // PostgreSQL. Its error texts go through dbError like the others.
    SqliteStatements *sqlite() { return m_sqlite.get(); }

    // A write transaction takes the write lock at once (SQLite: BEGIN IMMEDIATE), so that
    // two workers never fail upgrading a read lock. Read calls run each statement alone.
    Status begin(Access access);
    Status commit();
    void rollback();

    // A database failure of the method being served: the driver's text and the statement
    // go to the server's log, the caller gets only "Erro no banco de dados em <method>.",
    // since driver texts can quote the statement and the values bound to it.
    QString dbError(const QString &driverText, const QString &statement = {}) const;

    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

private:
    Session() = default;
    friend void retireAllSessions();
    friend void releaseThisThreadSession();
    friend struct SessionHolder;
    void close();

    QString m_connectionName;
    Dialect m_dialect = Dialect::SQLite;
    QSqlDatabase m_db;
    QHash<QString, QSqlQuery *> m_prepared;
    std::unique_ptr<SqliteStatements> m_sqlite;
    QString m_method;
    bool m_inTransaction = false;
    bool m_closed = false;               // by its own thread only
    std::atomic<bool> m_retired = false; // set by the main thread at shutdown
};

// The text a caller gets for any database failure of method.
QString dbErrorText(const QString &method);
// Writes a database failure to the server's log (stderr, one line): the method, the
// driver's text and the statement. Bound values are never written: they may be secrets.
void logDbError(const QString &method, const QString &driverText, const QString &statement = {});

// At shutdown: every session still open is retired. A call that then asks for its thread's
// session gets "O servidor está sendo encerrado." instead; a call still running keeps its
// connection, which its own thread closes when it ends (or the process's end does, for a
// worker held by an idle client).
void retireAllSessions();
// Closes the calling thread's session, if it has one (a worker that ends).
void releaseThisThreadSession();

} // namespace kpr::appserver
