#include "appserver/database/sqlitestatements.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdlib>

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver {

SqliteRow::Storage SqliteRow::storage(int column) const
{
    static_assert(int(Storage::Integer) == SQLITE_INTEGER && int(Storage::Real) == SQLITE_FLOAT
                  && int(Storage::Text) == SQLITE_TEXT && int(Storage::Blob) == SQLITE_BLOB
                  && int(Storage::Null) == SQLITE_NULL);
    return Storage(sqlite3_column_type(m_stmt, column));
}

bool SqliteRow::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

bool SqliteRow::isInteger(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_INTEGER;
}

bool SqliteRow::isReal(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_FLOAT;
}

QByteArrayView SqliteRow::text(int column) const
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    return QByteArrayView(p, p ? sqlite3_column_bytes(m_stmt, column) : 0);
}

double SqliteRow::real(int column) const
{
    return sqlite3_column_double(m_stmt, column);
}

qint64 SqliteRow::integer(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

std::optional<double> SqliteRow::number(int column) const
{
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_NULL: return std::nullopt;
    case SQLITE_INTEGER: return double(sqlite3_column_int64(m_stmt, column));
    case SQLITE_FLOAT: {
        const double d = sqlite3_column_double(m_stmt, column);
        return std::isfinite(d) ? std::optional<double>(d) : std::nullopt;
    }
    default: {
        // Text: a number only when the whole (trimmed) text is one, as QString::toDouble.
        bool ok = false;
        const double d = QString::fromUtf8(text(column)).trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(d))
            return std::nullopt;
        return d;
    }
    }
}

SqliteStatements::~SqliteStatements()
{
    clear();
}

void SqliteStatements::clear()
{
    for (sqlite3_stmt *st : std::as_const(m_statements))
        sqlite3_finalize(st);
    m_statements.clear();
}

QString SqliteStatements::errorText() const
{
    return QString::fromUtf8(sqlite3_errmsg(m_db)).trimmed();
}

sqlite3_stmt *SqliteStatements::prepared(const QString &sql, QString *why)
{
    sqlite3_stmt *st = m_statements.value(sql);
    if (st)
        return st;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &st, nullptr) != SQLITE_OK) {
        *why = errorText();
        if (why->isEmpty())
            *why = u"falha ao preparar a instrução"_s;
        sqlite3_finalize(st);
        return nullptr;
    }
    m_statements.insert(sql, st);
    return st;
}

namespace {

// What QtSql binds as NULL: an invalid variant, and a null text, byte array, date or time.
bool boundAsNull(const QVariant &v)
{
    if (v.isNull())
        return true;
    switch (v.typeId()) {
    case QMetaType::QString: return v.toString().isNull();
    case QMetaType::QByteArray: return v.toByteArray().isNull();
    case QMetaType::QDate: return v.toDate().isNull();
    case QMetaType::QTime: return v.toTime().isNull();
    case QMetaType::QDateTime: return v.toDateTime().isNull();
    default: return false;
    }
}

} // namespace

QString SqliteStatements::start(const QString &sql, const QVariantList &values, sqlite3_stmt **out)
{
    QString why;
    sqlite3_stmt *st = prepared(sql, &why);
    if (!st)
        return why;
    for (int i = 0; i < values.size(); ++i) {
        const QVariant &v = values.at(i);
        int rc = SQLITE_OK;
        if (boundAsNull(v)) {
            rc = sqlite3_bind_null(st, i + 1);
        } else {
            switch (v.typeId()) {
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::LongLong:
            case QMetaType::ULongLong:
            case QMetaType::Bool: rc = sqlite3_bind_int64(st, i + 1, v.toLongLong()); break;
            case QMetaType::Double:
            case QMetaType::Float: rc = sqlite3_bind_double(st, i + 1, v.toDouble()); break;
            default: {
                const QByteArray utf8 = v.toString().toUtf8();
                rc = sqlite3_bind_text(st, i + 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
                break;
            }
            }
        }
        if (rc != SQLITE_OK) {
            const QString why = errorText();
            sqlite3_reset(st);
            sqlite3_clear_bindings(st);
            return why;
        }
    }
    *out = st;
    return QString();
}

int SqliteStatements::step(sqlite3_stmt *st)
{
    switch (sqlite3_step(st)) {
    case SQLITE_ROW: return StepRow;
    case SQLITE_DONE: return StepDone;
    default: return StepError;
    }
}

Result<int> SqliteStatements::finish(sqlite3_stmt *st, bool done)
{
    if (!done) {
        const QString why = errorText();
        sqlite3_reset(st);
        sqlite3_clear_bindings(st);
        return makeError(why);
    }
    const int changed = sqlite3_changes(m_db);
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    return changed;
}

} // namespace kpr::appserver
