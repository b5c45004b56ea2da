// The by-date statement: its empty table, a client's services and dated quantities, and
// the statement stored on the server under its apuration number.

#include "appserver/rdmcfr/boundary.h"
#include "appserver/rdmcfr/common.h"
#include "contract/packets.h"
#include "appserver/rdmcfr/methods.h"
#include "appserver/rdmcfr/statementfields.h"
#include "framework/core/dates.h"

#include <QHash>
#include <QPair>
#include <QSet>

#include <algorithm>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver::rdmcfr {

Result<Answer> GetCFRSintData(Session &, const Args &)
{
    static const QByteArray empty = PacketBuilder(cfrSintDataFields()).toJsonText();
    return Answer::fromJsonText(empty);
}

Result<Answer> GetServSelect(Session &s, const Args &a)
{
    const QList<PacketField> &fields = contract::servSelectFields();
    if (s.dialect() == Dialect::SQLite) {
        // SQLite walks every row of the client for DISTINCT; the recursive form seeks the
        // next greater code in the primary key instead, one seek per service.
        return packetFromQuery(
            s, fields,
            u"WITH RECURSIVE S(C) AS (SELECT MIN(CDSERVFILIAPGD) FROM APURFATGD WHERE NRAPURACGD = ?1 "
            "AND CDFILIALAPGD = ?2 AND CDCLIENTEAPGD = ?3 UNION ALL SELECT (SELECT MIN(CDSERVFILIAPGD) "
            "FROM APURFATGD WHERE NRAPURACGD = ?1 AND CDFILIALAPGD = ?2 AND CDCLIENTEAPGD = ?3 "
            "AND CDSERVFILIAPGD > S.C) FROM S WHERE S.C IS NOT NULL) SELECT C FROM S WHERE C IS NOT NULL"_s,
            {a.text(2), a.text(1), a.text(3)});
    }
    return packetFromQuery(s, fields,
                           u"SELECT DISTINCT CDSERVFILIAPGD FROM APURFATGD WHERE NRAPURACGD = ? "
                           "AND CDFILIALAPGD = ? AND CDCLIENTEAPGD = ? ORDER BY CDSERVFILIAPGD"_s,
                           {a.text(2), a.text(1), a.text(3)});
}

Result<Answer> GetQtdeEfetData(Session &s, const Args &a)
{
    const QList<PacketField> &fields = contract::qtdeEfetDataFields();
    // The hot path of the by-date pass: one call per client, window and service. The
    // statement is prepared once per worker; the primary key serves the whole look-up. Every
    // row has the branch and service asked for, so the service's name is read once (a scalar
    // subquery, NULL when the service is not registered) rather than joined per row.
    return packetFromQuery(
        s, fields,
        u"SELECT A.CDCLIENTEAPGD, A.CDSERVFILIAPGD, A.DTAPURACFATGD, A.NREFETIVOSAPGD, "
        "C.IDTPIJURCLIE, C.NRINSJURCLIE, C.NMRAZSOCCLIE, "
        "(SELECT S.NMSERVICO FROM SERVFILI S WHERE S.CDFILIAL = ? AND S.CDSERVFILI = ?), A.VRPRECUNITAPGD "
        "FROM APURFATGD A JOIN CLIENTE C ON C.CDCLIENTE = A.CDCLIENTEAPGD "
        "WHERE A.NRAPURACGD = ? AND A.CDFILIALAPGD = ? AND A.CDCLIENTEAPGD = ? "
        "AND A.CDSERVFILIAPGD = ? AND A.DTAPURACFATGD >= ? AND A.DTAPURACFATGD <= ? "
        "ORDER BY A.DTAPURACFATGD"_s,
        {a.text(1), a.text(4), a.text(2), a.text(1), a.text(3), a.text(4), s.date(a.date(5)), s.date(a.date(6))});
}

namespace {

QString packetError(const QString &what)
{
    return u"SetCRFSintDados: o argumento 1 deve ser um pacote de dados: %1."_s.arg(what);
}

QString fieldError(qsizetype row, const QString &field, const QString &what)
{
    return packetError(u"a linha %1, campo %2, %3"_s.arg(row).arg(field, what));
}

// The bound values of the days of one packet: the rows of a statement repeat the same
// few days, and the text SQLite binds for a day costs more to build than to look up.
using BoundDays = QHash<double, QVariant>;

// The bound value of one packet value for a stored column, or the error text. Nothing is
// coerced: a value the databases would store differently (a date outside 1900..9999, a
// text with a NUL) is refused.
Result<QVariant> storedValue(Session &s, const StoredColumn &c, const QJsonValue &v, int row, BoundDays &days)
{
    if (v.isNull() || v.isUndefined())
        return QVariant();
    using K = StoredColumn::Kind;
    switch (c.kind) {
    case K::Text: {
        if (!v.isString())
            return makeError(fieldError(row, c.name, u"deve ser um texto"_s));
        const QString text = v.toString();
        if (const QString fault = textFault(text); !fault.isEmpty())
            return makeError(fieldError(row, c.name, fault));
        return QVariant(cutToWidthWhole(text, c.width));
    }
    case K::Number:
        if (!v.isDouble() || !std::isfinite(v.toDouble()))
            return makeError(fieldError(row, c.name, u"deve ser um número"_s));
        return QVariant(v.toDouble());
    case K::Date: {
        if (!v.isDouble())
            return makeError(fieldError(row, c.name, u"deve ser uma data (número de dias)"_s));
        const double day = v.toDouble();
        if (const auto known = days.constFind(day); known != days.cend())
            return *known;
        if (const QString fault = dayNumberFault(day); !fault.isEmpty())
            return makeError(fieldError(row, c.name, fault));
        return *days.insert(day, s.date(dayNumberToDate(day)));
    }
    }
    return QVariant();
}

} // namespace

Result<Answer> SetCRFSintDados(Session &s, const Args &a)
{
    const auto read = readPacket(a.value(1));
    if (!read)
        return makeError(packetError(read.error()));
    const ReceivedPacket &packet = *read;
    if (packet.rows.isEmpty())
        return Answer(QJsonValue(0));
    const int branchAt = packet.indexOf(u"CDFILIAL"_s);
    const int numberAt = packet.indexOf(u"NRAPURACGD"_s);
    if (branchAt < 0)
        return makeError(packetError(u"falta o campo CDFILIAL"_s));
    if (numberAt < 0)
        return makeError(packetError(u"falta o campo NRAPURACGD"_s));

    const QList<StoredColumn> &columns = cfrSintDataColumns();
    QList<int> source; // packet position of each stored column, -1 when not sent for storing
    for (const StoredColumn &c : columns) {
        const int at = packet.indexOf(c.name);
        source << (at >= 0 && packet.fields.at(at).stored() ? at : -1);
    }

    // Check every row before touching a table, collecting the (branch, number) pairs.
    QList<QVariantList> inserts;
    QList<QPair<QString, QString>> keys;
    QSet<QPair<QString, QString>> seen;
    BoundDays days;
    for (qsizetype r = 0; r < packet.rows.size(); ++r) {
        const QJsonArray row = packet.rows.at(r).toArray();
        const QJsonValue b = row.at(branchAt);
        const QJsonValue n = row.at(numberAt);
        if (!b.isString() || !n.isString() || b.toString().isEmpty() || n.toString().isEmpty())
            return makeError(packetError(u"a linha %1 não tem CDFILIAL ou NRAPURACGD"_s.arg(r + 1)));
        for (const auto &[field, value] : {std::pair{u"CDFILIAL"_s, b}, std::pair{u"NRAPURACGD"_s, n}}) {
            if (const QString fault = textFault(value.toString()); !fault.isEmpty())
                return makeError(fieldError(r + 1, field, fault));
        }
        const QPair<QString, QString> key{cutToWidthWhole(b.toString(), 4), cutToWidthWhole(n.toString(), 10)};
        if (!seen.contains(key)) {
            seen.insert(key);
            keys << key;
        }
        QVariantList values{key.second, key.first, int(r + 1)};
        for (int c = 0; c < columns.size(); ++c) {
            if (source.at(c) < 0) {
                values << QVariant();
                continue;
            }
            const auto v = storedValue(s, columns.at(c), row.at(source.at(c)), int(r + 1), days);
            if (!v)
                return makeError(v.error());
            values << *v;
        }
        inserts << values;
    }

    // Each apuration the packet names is locked in one order, so that two calls storing
    // statements of the same numbers run one after the other and never deadlock.
    QList<QString> numbers;
    for (const auto &key : keys)
        numbers << key.second;
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    for (const QString &number : numbers) {
        if (const auto locked = lockApuration(s, number); !locked)
            return makeError(locked.error());
    }
    for (const auto &key : keys) {
        const auto removed =
            execute(s, u"DELETE FROM CFRSINTDATA WHERE CDFILIAL = ? AND NRAPURACGD = ?"_s, {key.first, key.second});
        if (!removed)
            return makeError(removed.error());
    }
    QString names = u"NRAPURACGD, CDFILIAL, NRLINHA"_s;
    QString marks = u"?, ?, ?"_s;
    for (const StoredColumn &c : columns) {
        names += u", "_s + c.name;
        marks += u", ?"_s;
    }
    const QString insert = u"INSERT INTO CFRSINTDATA (%1) VALUES (%2)"_s.arg(names, marks);
    for (const QVariantList &values : inserts) {
        const auto stored = execute(s, insert, values);
        if (!stored)
            return makeError(stored.error());
    }
    return Answer(QJsonValue(int(inserts.size())));
}

Result<Answer> DelCRFSintDados(Session &s, const Args &a)
{
    if (const auto locked = lockApuration(s, a.text(2)); !locked)
        return makeError(locked.error());
    const auto removed =
        execute(s, u"DELETE FROM CFRSINTDATA WHERE CDFILIAL = ? AND NRAPURACGD = ?"_s, {a.text(1), a.text(2)});
    if (!removed)
        return makeError(removed.error());
    return Answer(QJsonValue(*removed));
}

} // namespace kpr::appserver::rdmcfr
