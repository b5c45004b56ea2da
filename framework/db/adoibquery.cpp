#include "framework/db/adoibquery.h"

#include "framework/core/dates.h"
#include "framework/data/datapacket.h"
#include "framework/db/dtmdbgeral.h"
#include "framework/db/sqlvalues.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlField>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QSqlRecord>


using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {

bool isNameStart(QChar c)
{
    return c.isLetter() || c == u'_';
}
bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

// The value as the driver should receive it. SQLite keeps dates as ISO text; a date-time
// at midnight is a date there, so that it compares equal to the stored "2026-01-15".
QVariant bindValue(const TParam &p, DatabaseUrl::Kind kind)
{
    if (p.IsNull())
        return QVariant();
    const QVariant v = p.Value();
    if (kind == DatabaseUrl::Kind::SQLite) {
        if (v.metaType().id() == QMetaType::QDate)
            return v.toDate().toString(Qt::ISODate);
        if (v.metaType().id() == QMetaType::QDateTime) {
            const QDateTime dt = v.toDateTime();
            if (dt.time() == QTime(0, 0))
                return dt.date().toString(Qt::ISODate);
            return dt.toString(u"yyyy-MM-dd HH:mm:ss"_s);
        }
    }
    return v;
}

TFieldType fieldTypeOf(const QSqlField &f)
{
    switch (f.metaType().id()) {
    case QMetaType::Bool: return ftBoolean;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort: return ftInteger;
    case QMetaType::Double:
    case QMetaType::Float: return ftFloat;
    case QMetaType::QDate:
    case QMetaType::QDateTime: return ftDateTime;
    default: return ftString;
    }
}

QJsonValue jsonOf(TFieldType type, const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return QJsonValue(QJsonValue::Null);
    switch (type) {
    case ftBoolean: return v.toBool();
    case ftInteger: return double(v.toLongLong());
    case ftFloat: return v.toDouble();
    case ftDateTime: {
        const QDateTime dt = sqlValueToDateTime(v);
        return dt.isValid() ? QJsonValue(toDayNumber(dt)) : QJsonValue(QJsonValue::Null);
    }
    default: return v.toString();
    }
}

} // namespace

TADOIBQuery::TADOIBQuery(QObject *parent) : TADOIBQuery(QString(), parent) {}

TADOIBQuery::TADOIBQuery(const QString &name, QObject *parent) : TClientDataSet(name, parent)
{
    // A look-up query is read-only: its rows mirror the database, which it never writes.
    const auto refuse = [this](TClientDataSet &) {
        throw EDatabaseError(u"%1: Cannot modify a read-only dataset"_s.arg(objectName()));
    };
    BeforeEdit = refuse;
    BeforeInsert = refuse;
}

TADOIBQuery::~TADOIBQuery() = default;

void TADOIBQuery::setText(Dialect d, const QStringList &lines)
{
    m_sql[d] = lines;
    refreshParams();
}

QString TADOIBQuery::statementText() const
{
    const Dialect own = dtmDBGeral::kind() == DatabaseUrl::Kind::PostgreSQL ? PG : SQLite;
    const QStringList &lines = m_sql[own].join(QString()).trimmed().isEmpty() ? m_sql[Default] : m_sql[own];
    return lines.join(u'\n');
}

TADOIBQuery::Positional TADOIBQuery::toPositional(const QString &sql)
{
    Positional out;
    out.sql.reserve(sql.size());
    const qsizetype n = sql.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = sql[i];
        if (c == u'\'' || c == u'"') {
            // A quoted text or name, with its quote doubled inside, runs to its closing quote.
            qsizetype j = i + 1;
            while (j < n) {
                if (sql[j] == c) {
                    if (j + 1 < n && sql[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            const qsizetype end = qMin(j + 1, n);
            out.sql += QStringView(sql).mid(i, end - i);
            i = end;
        } else if (c == u'-' && i + 1 < n && sql[i + 1] == u'-') {
            qsizetype j = sql.indexOf(u'\n', i);
            if (j < 0)
                j = n;
            out.sql += QStringView(sql).mid(i, j - i);
            i = j;
        } else if (c == u'/' && i + 1 < n && sql[i + 1] == u'*') {
            qsizetype j = sql.indexOf(u"*/"_s, i + 2);
            j = j < 0 ? n : j + 2;
            out.sql += QStringView(sql).mid(i, j - i);
            i = j;
        } else if (c == u':' && i + 1 < n && sql[i + 1] == u':') {
            out.sql += u"::"_s;
            i += 2;
        } else if (c == u':' && i + 1 < n && isNameStart(sql[i + 1])) {
            qsizetype j = i + 1;
            while (j < n && isNameChar(sql[j]))
                ++j;
            out.names << sql.mid(i + 1, j - i - 1);
            out.sql += u'?';
            i = j;
        } else {
            out.sql += c;
            ++i;
        }
    }
    return out;
}

void TADOIBQuery::refreshParams()
{
    // Parameters named in any dialect's text, in the order they first appear; a name that
    // stays keeps the value and type already given to it.
    TParams next;
    for (const QStringList &lines : m_sql) {
        for (const QString &name : toPositional(lines.join(u'\n')).names) {
            if (next.Contains(name))
                continue;
            if (const TParam *old = m_params.FindParam(name)) {
                TParam *p = next.CreateParam(old->DataType(), old->Name());
                p->setValue(old->Value());
            } else {
                next.CreateParam(ftUnknown, name);
            }
        }
    }
    m_params = std::move(next);
}

TParam &TADOIBQuery::ParamByName(const QString &name)
{
    if (TParam *p = m_params.FindParam(name))
        return *p;
    throw EDatabaseError(u"%1: Parameter '%2' not found"_s.arg(objectName(), name));
}

QStringList TADOIBQuery::ParamNames() const
{
    QStringList names;
    for (const TParam &p : m_params)
        names << p.Name();
    return names;
}

void TADOIBQuery::Open()
{
    Close();
    const QString text = statementText();
    if (text.trimmed().isEmpty())
        throw EDatabaseError(u"%1: No SQL statement"_s.arg(objectName()));

    QSqlDatabase db = dtmDBGeral::database();
    const DatabaseUrl::Kind kind = dtmDBGeral::kind();
    const Positional stmt = toPositional(text);

    // The read-only guard is set before the statement and lifted on every way out.
    bool guarded = false;
    const auto lift = qScopeGuard([&] {
        if (!guarded)
            return;
        if (kind == DatabaseUrl::Kind::PostgreSQL)
            db.rollback();
        else
            QSqlQuery(db).exec(u"PRAGMA query_only = 0"_s);
    });
    if (m_readOnly) {
        bool ok = false;
        if (kind == DatabaseUrl::Kind::PostgreSQL)
            ok = db.transaction() && QSqlQuery(db).exec(u"SET TRANSACTION READ ONLY"_s);
        else
            ok = QSqlQuery(db).exec(u"PRAGMA query_only = 1"_s);
        guarded = true;
        if (!ok)
            throw EDatabaseError(u"%1: não foi possível abrir a consulta somente para leitura (%2)"_s.arg(
                objectName(), db.lastError().text()));
    }

    QSqlQuery q(db);
    q.setForwardOnly(true);
    const auto failed = [&](const QSqlError &e) { throw EDatabaseError(u"%1: %2"_s.arg(objectName(), e.text())); };
    if (!q.prepare(stmt.sql))
        failed(q.lastError());
    for (const QString &name : stmt.names)
        q.addBindValue(bindValue(ParamByName(name), kind));
    if (!q.exec())
        failed(q.lastError());

    const QSqlRecord rec = q.record();
    const int columns = rec.count();
    std::vector<TFieldType> types(static_cast<size_t>(columns), ftString);
    for (int c = 0; c < columns; ++c)
        types[size_t(c)] = fieldTypeOf(rec.field(c));

    std::vector<QVariantList> rows;
    while (q.next()) {
        QVariantList row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c)
            row << q.value(c);
        rows.push_back(std::move(row));
    }
    if (q.lastError().isValid())
        failed(q.lastError());

    // SQLite reports a DATE column as text. By the naming rule of the data (DT... is a date)
    // such a column is a date-time when every value in it is an ISO date.
    for (int c = 0; c < columns; ++c) {
        if (types[size_t(c)] != ftString || !rec.fieldName(c).startsWith(u"DT"_s, Qt::CaseInsensitive))
            continue;
        bool allDates = true;
        for (const QVariantList &row : rows) {
            const QVariant &v = row[c];
            if (!v.isNull() && !isIsoDateText(v.toString())) {
                allDates = false;
                break;
            }
        }
        if (allDates)
            types[size_t(c)] = ftDateTime;
    }

    QJsonArray fields;
    for (int c = 0; c < columns; ++c) {
        const QSqlField f = rec.field(c);
        QJsonObject fo{{u"name"_s, f.name()}, {u"type"_s, packetTypeName(types[size_t(c)])}};
        if (isTextType(types[size_t(c)]))
            fo.insert(u"size"_s, f.length() > 0 ? f.length() : 0);
        fields.append(fo);
    }
    QJsonArray jsonRows;
    for (const QVariantList &row : rows) {
        QJsonArray jr;
        for (int c = 0; c < columns; ++c)
            jr.append(jsonOf(types[size_t(c)], row[c]));
        jsonRows.append(jr);
    }
    const Status loaded = LoadFromPacket(QJsonObject{{u"fields"_s, fields}, {u"rows"_s, jsonRows}});
    if (!loaded)
        throw EDatabaseError(loaded.error());
}

void TADOIBQuery::Close()
{
    TClientDataSet::Close();
}

void TADOIBQuery::setActive(bool active)
{
    if (active)
        Open();
    else
        Close();
}

} // namespace kpr
