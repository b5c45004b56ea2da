#include "appserver/packet.h"

#include "appserver/database/sqlitestatements.h"
#include "appserver/sqlvalue.h"
#include "framework/core/dates.h"

#include <QJsonDocument>
#include <QLocale>
#include <QSqlQuery>

#include <cstdlib>

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver {

QJsonValue jsonFromSql(const QVariant &value, TFieldType type)
{
    if (value.isNull())
        return QJsonValue::Null;
    switch (type) {
    case ftString:
    case ftFixedChar: return value.toString();
    case ftFloat: {
        const auto d = doubleFromSql(value);
        return d ? QJsonValue(*d) : QJsonValue(QJsonValue::Null);
    }
    case ftInteger: {
        bool ok = false;
        const qlonglong n = value.toLongLong(&ok);
        return ok ? QJsonValue(n) : QJsonValue(QJsonValue::Null);
    }
    case ftDateTime: {
        if (value.typeId() == QMetaType::QDateTime)
            return toDayNumber(value.toDateTime());
        const QDate d = dateFromSql(value);
        return d.isValid() ? QJsonValue(toDayNumber(d)) : QJsonValue(QJsonValue::Null);
    }
    case ftBoolean: return value.toBool();
    case ftUnknown: break;
    }
    return QJsonValue::Null;
}

PacketBuilder::PacketBuilder(const QList<PacketField> &fields) : m_fields(fields)
{
    m_rows.reserve(4096);
}

void PacketBuilder::beginRow()
{
    if (m_rowCount++ > 0)
        m_rows += ',';
    m_rows += '[';
}

void PacketBuilder::addRow(const QSqlQuery &q)
{
    beginRow();
    for (int i = 0; i < m_fields.size(); ++i) {
        if (i > 0)
            m_rows += ',';
        const QVariant v = q.value(i);
        if (v.isNull()) {
            m_rows += "null";
            continue;
        }
        switch (m_fields.at(i).type) {
        case ftString:
        case ftFixedChar: appendJsonString(m_rows, v.toString()); break;
        default: appendJsonValue(m_rows, jsonFromSql(v, m_fields.at(i).type)); break;
        }
    }
    m_rows += ']';
}

namespace {

// The day number of a SQLite date text "yyyy-MM-dd[...]", as dateFromSql reads it.
std::optional<double> dayNumberFromSqlText(QByteArrayView t)
{
    while (!t.isEmpty() && (t.front() == ' ' || t.front() == '\t' || t.front() == '\n' || t.front() == '\r'))
        t = t.sliced(1);
    const auto digit = [&](qsizetype i) { return t.size() > i && t[i] >= '0' && t[i] <= '9'; };
    const bool iso = digit(0) && digit(1) && digit(2) && digit(3) && t.size() >= 10 && t[4] == '-' && digit(5)
                     && digit(6) && t[7] == '-' && digit(8) && digit(9);
    QDate d;
    if (iso) {
        const auto n = [&](qsizetype i, int len) {
            int v = 0;
            for (int k = 0; k < len; ++k)
                v = v * 10 + (t[i + k] - '0');
            return v;
        };
        d = QDate(n(0, 4), n(5, 2), n(8, 2));
    } else {
        d = dateFromSql(QVariant(QString::fromUtf8(t)));
    }
    if (!d.isValid())
        return std::nullopt;
    return toDayNumber(d);
}

// The QVariant QtSql would have handed out for the column, for the rare conversions.
QVariant variantOf(const SqliteRow &row, int i)
{
    if (row.isNull(i))
        return QVariant();
    if (row.isInteger(i))
        return QVariant(row.integer(i));
    if (row.isReal(i))
        return QVariant(row.real(i));
    return QVariant(QString::fromUtf8(row.text(i)));
}

} // namespace

void PacketBuilder::addRow(const SqliteRow &row)
{
    beginRow();
    for (int i = 0; i < m_fields.size(); ++i) {
        if (i > 0)
            m_rows += ',';
        if (row.isNull(i)) {
            m_rows += "null";
            continue;
        }
        switch (m_fields.at(i).type) {
        case ftString:
        case ftFixedChar:
            if (row.isInteger(i)) {
                m_rows += '"';
                m_rows += QByteArray::number(row.integer(i));
                m_rows += '"';
            } else if (row.isReal(i)) {
                m_rows += '"';
                m_rows += QByteArray::number(row.real(i), 'g', QLocale::FloatingPointShortest);
                m_rows += '"';
            } else {
                appendJsonUtf8(m_rows, row.text(i));
            }
            break;
        case ftFloat:
            if (const auto d = row.number(i))
                appendJsonNumber(m_rows, *d);
            else
                m_rows += "null";
            break;
        case ftDateTime:
            if (row.isInteger(i) || row.isReal(i)) {
                appendJsonValue(m_rows, jsonFromSql(variantOf(row, i), ftDateTime));
            } else if (const auto day = dayNumberFromSqlText(row.text(i))) {
                appendJsonNumber(m_rows, *day);
            } else {
                m_rows += "null";
            }
            break;
        case ftInteger:
            // A stored integer is written as it is; other storage goes the general way.
            if (row.isInteger(i) && std::abs(row.integer(i)) < (qint64(1) << 53))
                appendJsonNumber(m_rows, double(row.integer(i)));
            else
                appendJsonValue(m_rows, jsonFromSql(variantOf(row, i), ftInteger));
            break;
        default: appendJsonValue(m_rows, jsonFromSql(variantOf(row, i), m_fields.at(i).type)); break;
        }
    }
    m_rows += ']';
}

void PacketBuilder::addRow(const QJsonArray &row)
{
    beginRow();
    for (qsizetype i = 0; i < row.size(); ++i) {
        if (i > 0)
            m_rows += ',';
        appendJsonValue(m_rows, row.at(i));
    }
    m_rows += ']';
}

QByteArray PacketBuilder::toJsonText() const
{
    QByteArray out;
    out.reserve(m_rows.size() + 96 * m_fields.size() + 32);
    out += "{\"fields\":[";
    for (int i = 0; i < m_fields.size(); ++i) {
        const PacketField &f = m_fields.at(i);
        const bool sized = f.type == ftString || f.type == ftFixedChar;
        if (i > 0)
            out += ',';
        out += "{\"name\":";
        appendJsonString(out, f.name);
        out += ",\"type\":\"";
        out += packetTypeName(f.type).toLatin1();
        out += "\",\"size\":";
        out += QByteArray::number(sized ? f.size : 0);
        out += f.stored() ? ",\"flags\":[\"pfInUpdate\",\"pfInWhere\"]}" : ",\"flags\":[]}";
    }
    out += "],\"rows\":[";
    out += m_rows;
    out += "]}";
    return out;
}

QJsonObject PacketBuilder::toJson() const
{
    return QJsonDocument::fromJson(toJsonText()).object();
}

int ReceivedPacket::indexOf(const QString &name) const
{
    for (int i = 0; i < fields.size(); ++i)
        if (fields.at(i).name == name)
            return i;
    return -1;
}

Result<ReceivedPacket> readPacket(const QJsonValue &value)
{
    if (!value.isObject())
        return makeError(u"não é um objeto {\"fields\": [...], \"rows\": [...]}"_s);
    const QJsonObject o = value.toObject();
    if (!o.value(u"fields"_s).isArray())
        return makeError(u"falta a lista \"fields\""_s);
    if (!o.value(u"rows"_s).isArray())
        return makeError(u"falta a lista \"rows\""_s);
    ReceivedPacket p;
    const QJsonArray fields = o.value(u"fields"_s).toArray();
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const QJsonObject f = fields.at(i).toObject();
        const QString name = f.value(u"name"_s).toString();
        if (name.isEmpty())
            return makeError(u"o campo %1 não tem nome"_s.arg(i + 1));
        PacketField rf{name, packetFieldType(f.value(u"type"_s).toString()).value_or(ftUnknown), 0};
        if (f.contains(u"flags"_s)) {
            if (!f.value(u"flags"_s).isArray())
                return makeError(u"as flags do campo %1 não são uma lista"_s.arg(name));
            rf.flags = {};
            for (const QJsonValue flag : f.value(u"flags"_s).toArray()) {
                const QString n = flag.toString();
                if (n == u"pfInUpdate")
                    rf.flags |= pfInUpdate;
                else if (n == u"pfInWhere")
                    rf.flags |= pfInWhere;
                else if (n == u"pfInKey")
                    rf.flags |= pfInKey;
                else if (n == u"pfHidden")
                    rf.flags |= pfHidden;
            }
        }
        p.fields.append(rf);
    }
    p.rows = o.value(u"rows"_s).toArray();
    for (qsizetype r = 0; r < p.rows.size(); ++r) {
        const QJsonValue row = p.rows.at(r);
        if (!row.isArray() || row.toArray().size() != p.fields.size())
            return makeError(u"a linha %1 não é uma lista com um valor por campo"_s.arg(r + 1));
    }
    return p;
}

} // namespace kpr::appserver
