#include "appserver/packet.h"

#include "appserver/database/sqlitestatements.h"
#include "appserver/sqlvalue.h"
#include "framework/core/dates.h"

#include <QJsonDocument>
#include <QLocale>
#include <QSqlQuery>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

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

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar (H. Hinnant's
// days_from_civil).
constexpr qint64 daysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const qint64 yoe = y - era * 400;
    const qint64 doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const qint64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}
static_assert(daysFromCivil(1970, 1, 1) == 0 && daysFromCivil(2000, 3, 1) == 11017);

// The day number of a SQLite date text "yyyy-MM-dd[...]", as dateFromSql reads it.
std::optional<double> dayNumberFromSqlText(QByteArrayView t)
{
    while (!t.isEmpty() && (t.front() == ' ' || t.front() == '\t' || t.front() == '\n' || t.front() == '\r'))
        t = t.sliced(1);
    const auto digit = [&](qsizetype i) { return t.size() > i && t[i] >= '0' && t[i] <= '9'; };
    const bool iso = digit(0) && digit(1) && digit(2) && digit(3) && t.size() >= 10 && t[4] == '-' && digit(5)
                     && digit(6) && t[7] == '-' && digit(8) && digit(9);
    if (iso) {
        const auto n = [&](qsizetype i, int len) {
            int v = 0;
            for (int k = 0; k < len; ++k)
                v = v * 10 + (t[i + k] - '0');
            return v;
        };
        // The day count straight from the calendar date (proleptic Gregorian, as QDate),
        // without building a QDate per row.
        const int y = n(0, 4), m = n(5, 2), d = n(8, 2);
        if (!QDate::isValid(y, m, d))
            return std::nullopt;
        return double(daysFromCivil(y, m, d) - daysFromCivil(1899, 12, 30));
    }
    const QDate d = dateFromSql(QVariant(QString::fromUtf8(t)));
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

// Writes a row at the end of a QByteArray through a pointer: room is made once for what a
// value may take, and each value is copied in without QByteArray's checks on every append (a row of twelve
// columns was some sixty calls into QByteArray, a third of GetQtdeEfetServ's time).
class RowWriter
{
public:
    explicit RowWriter(QByteArray &out) : m_out(out), m_end(out.size()) {}
    ~RowWriter() { m_out.truncate(m_end); }

    // A pointer with room for n bytes; advance() says where the writing ended.
    char *room(qsizetype n)
    {
        // The room the array already has is taken whole; past it the array grows by its
        // own geometric steps.
        if (m_out.size() - m_end < n)
            m_out.resize(std::max(m_end + n, m_out.capacity()));
        return m_out.data() + m_end;
    }
    void advance(const char *end) { m_end = end - m_out.constData(); }

    void put(char c)
    {
        char *p = room(1);
        *p = c;
        advance(p + 1);
    }
    void put(QByteArrayView bytes)
    {
        char *p = room(bytes.size());
        if (!bytes.isEmpty())
            std::memcpy(p, bytes.data(), size_t(bytes.size()));
        advance(p + bytes.size());
    }
    void number(double d) { advance(writeJsonNumber(room(MaxJsonNumber), d)); }
    // The rare conversions, written by the general appenders.
    void value(const QJsonValue &v)
    {
        QByteArray text;
        appendJsonValue(text, v);
        put(text);
    }

private:
    QByteArray &m_out;
    qsizetype m_end;
};

} // namespace

void PacketBuilder::addRow(const SqliteRow &row)
{
    if (m_lastText.empty())
        m_lastText.resize(size_t(m_fields.size()));
    RowWriter w(m_rows);
    w.put(m_rowCount++ > 0 ? QByteArrayView(",[") : QByteArrayView("["));
    using Storage = SqliteRow::Storage;
    for (int i = 0; i < m_fields.size(); ++i) {
        if (i > 0)
            w.put(',');
        const Storage storage = row.storage(i);
        if (storage == Storage::Null) {
            w.put("null");
            continue;
        }
        const bool number = storage == Storage::Integer || storage == Storage::Real;
        switch (m_fields.at(i).type) {
        case ftString:
        case ftFixedChar:
            if (storage == Storage::Integer) {
                w.put('"');
                w.put(QByteArray::number(row.integer(i)));
                w.put('"');
            } else if (storage == Storage::Real) {
                w.put('"');
                w.put(QByteArray::number(row.real(i), 'g', QLocale::FloatingPointShortest));
                w.put('"');
            } else {
                // The same text as the row before (a client's name on each of its rows) is
                // copied as it was written, not checked and escaped again.
                const QByteArrayView text = row.text(i);
                LastText &last = m_lastText[size_t(i)];
                if (last.valid && QByteArrayView(last.utf8) == text) {
                    w.put(last.json);
                    break;
                }
                char *const start = w.room(jsonUtf8Room(text));
                char *const end = writeJsonUtf8(start, text);
                w.advance(end);
                last.utf8.resize(text.size());
                if (!text.isEmpty())
                    std::memcpy(last.utf8.data(), text.data(), size_t(text.size()));
                last.json.resize(end - start);
                std::memcpy(last.json.data(), start, size_t(end - start));
                last.valid = true;
            }
            break;
        case ftFloat:
            if (storage == Storage::Integer)
                w.number(double(row.integer(i)));
            else if (storage == Storage::Real && std::isfinite(row.real(i)))
                w.number(row.real(i));
            else if (const auto d = row.number(i))
                w.number(*d);
            else
                w.put("null");
            break;
        case ftDateTime:
            if (number) {
                w.value(jsonFromSql(variantOf(row, i), ftDateTime));
            } else if (const auto day = dayNumberFromSqlText(row.text(i))) {
                w.number(*day);
            } else {
                w.put("null");
            }
            break;
        case ftInteger:
            // A stored integer is written as it is; other storage goes the general way.
            if (storage == Storage::Integer && std::abs(row.integer(i)) < (qint64(1) << 53))
                w.number(double(row.integer(i)));
            else
                w.value(jsonFromSql(variantOf(row, i), ftInteger));
            break;
        default: w.value(jsonFromSql(variantOf(row, i), m_fields.at(i).type)); break;
        }
    }
    w.put(']');
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
