#pragma once
// The hot statements of a SQLite session run on the sqlite3 C API of the connection that
// QtSql opened: prepared once, bound and stepped without a QVariant per value, their rows
// read in place. QtSql's value conversion costs more than the query itself on the short
// look-ups of the apuration, and on the wide rows of the statements it dominates.
// Only Session uses it; PostgreSQL sessions keep QtSql.

#include "framework/core/result.h"

#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QVariantList>

#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace kpr::appserver {

// The current row of a stepped statement. Text is the column's UTF-8 bytes, valid until the
// next step.
class SqliteRow
{
public:
    explicit SqliteRow(sqlite3_stmt *stmt) : m_stmt(stmt) {}

    // The storage of a column's value, asked once where a row is read column by column.
    enum class Storage { Integer = 1, Real = 2, Text = 3, Blob = 4, Null = 5 };
    Storage storage(int column) const;

    bool isNull(int column) const;
    bool isInteger(int column) const;
    bool isReal(int column) const;
    QByteArrayView text(int column) const;
    double real(int column) const;
    qint64 integer(int column) const;
    // A number column read as QVariant::toDouble would: nullopt for NULL or text that is no
    // number.
    std::optional<double> number(int column) const;

private:
    sqlite3_stmt *m_stmt;
};

class SqliteStatements
{
public:
    explicit SqliteStatements(sqlite3 *db) : m_db(db) {}
    ~SqliteStatements();
    SqliteStatements(const SqliteStatements &) = delete;
    SqliteStatements &operator=(const SqliteStatements &) = delete;

    // Prepares sql once, binds values in order (null, integers, doubles, text), steps it
    // and calls row for every row; the statement is reset (its read snapshot released)
    // before this returns. The error is SQLite's own text.
    template<typename F>
    Result<int> run(const QString &sql, const QVariantList &values, F &&row)
    {
        sqlite3_stmt *st = nullptr;
        if (const QString why = start(sql, values, &st); !why.isNull())
            return makeError(why);
        for (;;) {
            const int rc = step(st);
            if (rc == StepRow) {
                row(SqliteRow(st));
                continue;
            }
            if (rc == StepDone)
                return finish(st, true);
            return finish(st, false);
        }
    }
    Result<int> run(const QString &sql, const QVariantList &values)
    {
        return run(sql, values, [](const SqliteRow &) {});
    }

    void clear(); // finalizes every statement (before the connection closes)

    // For bulk work that binds and steps by itself: the statement prepared once (reset,
    // without bindings), or nullptr with the reason in *why.
    sqlite3_stmt *prepared(const QString &sql, QString *why);
    QString errorText() const;

private:
    enum { StepRow = 1, StepDone = 2, StepError = 3 };
    QString start(const QString &sql, const QVariantList &values, sqlite3_stmt **st);
    static int step(sqlite3_stmt *st);
    Result<int> finish(sqlite3_stmt *st, bool done);

    sqlite3 *m_db;
    QHash<QString, sqlite3_stmt *> m_statements;
};

} // namespace kpr::appserver
