#include "framework/data/datapacket.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <charconv>
#include <cmath>
#include <cstring>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

using detail::CellKind;
using detail::Column;
using detail::PacketData;

namespace {

struct FlagName
{
    TProviderFlag flag;
    const char16_t *name;
};
constexpr FlagName flagNames[] = {
    {pfInUpdate, u"pfInUpdate"}, {pfInWhere, u"pfInWhere"}, {pfInKey, u"pfInKey"}, {pfHidden, u"pfHidden"}};

QString malformed(const QString &what)
{
    return u"Malformed data packet: "_s + what;
}

Result<PacketField> readField(const QJsonValue &value, qsizetype number)
{
    if (!value.isObject())
        return makeError(malformed(u"field %1 is not an object"_s.arg(number)));
    const QJsonObject def = value.toObject();
    PacketField f;
    f.name = def.value(u"name"_s).toString();
    if (f.name.isEmpty())
        return makeError(malformed(u"field %1 has no name"_s.arg(number)));
    const QString typeName = def.value(u"type"_s).toString();
    const auto type = packetFieldType(typeName);
    if (!type)
        return makeError(malformed(u"field '%1' has the unknown type '%2'"_s.arg(f.name, typeName)));
    f.type = *type;
    const QJsonValue size = def.value(u"size"_s);
    if (!size.isUndefined() && !size.isNull()) {
        if (!size.isDouble() || size.toDouble() < 0 || size.toDouble() != std::trunc(size.toDouble()))
            return makeError(malformed(u"field '%1' has an invalid size"_s.arg(f.name)));
        f.size = isTextType(f.type) ? size.toInt() : 0;
    }
    const QJsonValue flags = def.value(u"flags"_s);
    if (flags.isUndefined()) {
        f.flags = TProviderFlags(pfInUpdate) | pfInWhere;
    } else if (!flags.isArray()) {
        return makeError(malformed(u"the flags of field '%1' are not a list"_s.arg(f.name)));
    } else {
        f.flags = {};
        for (const QJsonValue flag : flags.toArray()) {
            const QString name = flag.toString();
            bool known = false;
            for (const FlagName &fn : flagNames)
                if (name == QStringView(fn.name)) {
                    f.flags |= fn.flag;
                    known = true;
                }
            if (!known)
                return makeError(malformed(u"field '%1' has the unknown flag '%2'"_s.arg(f.name, name)));
        }
    }
    return f;
}

Result<std::vector<PacketField>> readFields(const QJsonValue &value)
{
    if (!value.isArray())
        return makeError(malformed(u"\"fields\" is not a list"_s));
    std::vector<PacketField> fields;
    const QJsonArray defs = value.toArray();
    for (qsizetype i = 0; i < defs.size(); ++i) {
        auto f = readField(defs.at(i), i + 1);
        if (!f)
            return makeError(f.error());
        for (const PacketField &other : fields)
            if (other.name.compare(f->name, Qt::CaseInsensitive) == 0)
                return makeError(malformed(u"field '%1' appears twice"_s.arg(f->name)));
        fields.push_back(std::move(f).value());
    }
    return fields;
}

std::vector<Column> emptyColumns(const std::vector<PacketField> &fields)
{
    std::vector<Column> columns(fields.size());
    for (size_t i = 0; i < fields.size(); ++i)
        columns[i].kind = detail::kindOf(fields[i].type);
    return columns;
}

QString expectedKind(TFieldType type)
{
    switch (type) {
    case ftInteger: return u"an integer"_s;
    case ftBoolean: return u"true or false"_s;
    case ftFloat:
    case ftDateTime: return u"a number"_s;
    default: return u"a text"_s;
    }
}

QString badValue(size_t row, const PacketField &f)
{
    return malformed(u"row %1, field '%2': %3 was expected"_s.arg(row).arg(f.name, expectedKind(f.type)));
}

void appendText(Column &c, QString text)
{
    // Consecutive rows often repeat a text (the client, the service): share it.
    if (!c.text.empty() && !c.null.back() && c.text.back() == text)
        c.text.push_back(c.text.back());
    else
        c.text.push_back(std::move(text));
    c.null.push_back(0);
}

void appendNumber(Column &c, double value)
{
    c.number.push_back(value);
    c.null.push_back(0);
}

// Adds one JSON value of a row to its column; false when its kind does not suit the field.
bool appendValue(Column &c, TFieldType type, const QJsonValue &v)
{
    if (v.isNull()) {
        c.appendNull();
        return true;
    }
    switch (type) {
    case ftBoolean:
        if (!v.isBool())
            return false;
        appendNumber(c, v.toBool() ? 1 : 0);
        return true;
    case ftInteger:
        if (!v.isDouble() || v.toDouble() != std::trunc(v.toDouble()))
            return false;
        appendNumber(c, v.toDouble());
        return true;
    case ftFloat:
    case ftDateTime:
        if (!v.isDouble())
            return false;
        appendNumber(c, v.toDouble());
        return true;
    default:
        if (!v.isString())
            return false;
        appendText(c, v.toString());
        return true;
    }
}

Result<PacketData> readRows(std::vector<PacketField> fields, const QJsonValue &value)
{
    if (!value.isArray())
        return makeError(malformed(u"\"rows\" is not a list"_s));
    const QJsonArray rows = value.toArray();
    PacketData data;
    data.columns = emptyColumns(fields);
    for (Column &c : data.columns)
        c.reserve(size_t(rows.size()));
    for (qsizetype r = 0; r < rows.size(); ++r) {
        const QJsonValue rv = rows.at(r);
        if (!rv.isArray())
            return makeError(malformed(u"row %1 is not a list"_s.arg(r + 1)));
        const QJsonArray row = rv.toArray();
        if (size_t(row.size()) != fields.size())
            return makeError(
                malformed(u"row %1 has %2 values for %3 fields"_s.arg(r + 1).arg(row.size()).arg(fields.size())));
        for (size_t j = 0; j < fields.size(); ++j)
            if (!appendValue(data.columns[j], fields[j].type, row.at(qsizetype(j))))
                return makeError(badValue(size_t(r) + 1, fields[j]));
    }
    data.rowCount = size_t(rows.size());
    data.fields = std::move(fields);
    return data;
}

// One pass over the packet text straight into columns. Field definitions and any other
// member go through QJsonValue (they are small); the rows, the bulk of a packet, do not.
class PacketParser
{
public:
    explicit PacketParser(const QByteArray &json)
        : m_begin(json.constData()),
          m_p(json.constData()),
          m_end(json.constData() + json.size())
    {}

    Result<PacketData> parse()
    {
        skipSpace();
        if (!eat('{'))
            return makeError(malformed(u"not a JSON object"_s));
        std::optional<std::vector<PacketField>> fields;
        std::optional<QJsonValue> laterRows; // rows met before the fields
        std::optional<PacketData> data;
        skipSpace();
        if (!eat('}')) {
            for (;;) {
                skipSpace();
                QString key;
                if (!parseString(&key))
                    return fail(u"a member name was expected"_s);
                skipSpace();
                if (!eat(':'))
                    return fail(u"':' was expected"_s);
                skipSpace();
                if (key == u"fields"_s) {
                    QJsonValue v;
                    if (!parseValue(&v))
                        return failed();
                    auto f = readFields(v);
                    if (!f)
                        return makeError(f.error());
                    fields = std::move(f).value();
                } else if (key == u"rows"_s && fields) {
                    data.emplace();
                    if (!parseRows(*fields, &*data))
                        return failed();
                } else {
                    QJsonValue v;
                    if (!parseValue(&v))
                        return failed();
                    if (key == u"rows"_s)
                        laterRows = v;
                }
                skipSpace();
                if (eat(','))
                    continue;
                if (eat('}'))
                    break;
                return fail(u"',' or '}' was expected"_s);
            }
        }
        skipSpace();
        if (m_p != m_end)
            return fail(u"text after the packet"_s);
        if (!fields)
            return makeError(malformed(u"\"fields\" is missing"_s));
        if (laterRows)
            return readRows(std::move(*fields), *laterRows);
        if (!data)
            return makeError(malformed(u"\"rows\" is missing"_s));
        data->fields = std::move(*fields);
        return std::move(*data);
    }

private:
    Result<PacketData> fail(const QString &what)
    {
        error(what); // the first error found is the one reported
        return makeError(m_error);
    }
    Result<PacketData> failed() { return makeError(m_error); }
    bool error(const QString &what)
    {
        if (m_error.isEmpty())
            m_error = malformed(u"%1 at offset %2"_s.arg(what).arg(m_p - m_begin));
        return false;
    }

    void skipSpace()
    {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\n' || *m_p == '\r' || *m_p == '\t'))
            ++m_p;
    }
    bool eat(char c)
    {
        if (m_p < m_end && *m_p == c) {
            ++m_p;
            return true;
        }
        return false;
    }
    bool eatWord(const char *word, size_t n)
    {
        if (size_t(m_end - m_p) >= n && std::memcmp(m_p, word, n) == 0) {
            m_p += n;
            return true;
        }
        return false;
    }

    static int hexValue(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    // A JSON string; *raw gets its bytes between the quotes when it has no escapes.
    bool parseString(QString *out, QByteArrayView *raw = nullptr)
    {
        if (!eat('"'))
            return error(u"a text was expected"_s);
        const char *start = m_p;
        while (m_p < m_end && *m_p != '"' && *m_p != '\\') {
            if (static_cast<unsigned char>(*m_p) < 0x20)
                return error(u"a control character in a text"_s);
            ++m_p;
        }
        if (m_p >= m_end)
            return error(u"an unterminated text"_s);
        if (*m_p == '"') {
            if (raw)
                *raw = QByteArrayView(start, m_p - start);
            *out = QString::fromUtf8(start, m_p - start);
            ++m_p;
            return true;
        }
        if (raw)
            *raw = QByteArrayView();
        QByteArray bytes(start, m_p - start);
        while (m_p < m_end && *m_p != '"') {
            const char c = *m_p++;
            if (static_cast<unsigned char>(c) < 0x20)
                return error(u"a control character in a text"_s);
            if (c != '\\') {
                bytes += c;
                continue;
            }
            if (m_p >= m_end)
                break;
            const char e = *m_p++;
            switch (e) {
            case '"': bytes += '"'; break;
            case '\\': bytes += '\\'; break;
            case '/': bytes += '/'; break;
            case 'b': bytes += '\b'; break;
            case 'f': bytes += '\f'; break;
            case 'n': bytes += '\n'; break;
            case 'r': bytes += '\r'; break;
            case 't': bytes += '\t'; break;
            case 'u': {
                char32_t code = 0;
                if (!readHex4(&code))
                    return error(u"a bad \\u escape"_s);
                if (code >= 0xD800 && code <= 0xDBFF) { // a surrogate pair
                    char32_t low = 0;
                    if (!eatWord("\\u", 2) || !readHex4(&low) || low < 0xDC00 || low > 0xDFFF)
                        return error(u"a bad \\u escape"_s);
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                }
                bytes += QString::fromUcs4(&code, 1).toUtf8();
                break;
            }
            default: return error(u"a bad escape"_s);
            }
        }
        if (!eat('"'))
            return error(u"an unterminated text"_s);
        *out = QString::fromUtf8(bytes);
        return true;
    }
    bool readHex4(char32_t *code)
    {
        if (m_end - m_p < 4)
            return false;
        *code = 0;
        for (int i = 0; i < 4; ++i) {
            const int h = hexValue(*m_p++);
            if (h < 0)
                return false;
            *code = *code * 16 + char32_t(h);
        }
        return true;
    }

    bool parseNumber(double *out)
    {
        if (m_p >= m_end || !(*m_p == '-' || (*m_p >= '0' && *m_p <= '9')))
            return error(u"a value was expected"_s);
        const auto r = std::from_chars(m_p, m_end, *out);
        if (r.ec != std::errc())
            return error(u"a bad number"_s);
        m_p = r.ptr;
        return true;
    }

    bool parseValue(QJsonValue *out, int depth = 0)
    {
        if (depth > 64)
            return error(u"values nested too deep"_s);
        skipSpace();
        if (m_p >= m_end)
            return error(u"a value was expected"_s);
        switch (*m_p) {
        case '"': {
            QString s;
            if (!parseString(&s))
                return false;
            *out = s;
            return true;
        }
        case '{': {
            ++m_p;
            QJsonObject obj;
            skipSpace();
            if (eat('}')) {
                *out = obj;
                return true;
            }
            for (;;) {
                skipSpace();
                QString key;
                if (!parseString(&key))
                    return false;
                skipSpace();
                if (!eat(':'))
                    return error(u"':' was expected"_s);
                QJsonValue v;
                if (!parseValue(&v, depth + 1))
                    return false;
                obj.insert(key, v);
                skipSpace();
                if (eat(','))
                    continue;
                if (eat('}'))
                    break;
                return error(u"',' or '}' was expected"_s);
            }
            *out = obj;
            return true;
        }
        case '[': {
            ++m_p;
            QJsonArray arr;
            skipSpace();
            if (eat(']')) {
                *out = arr;
                return true;
            }
            for (;;) {
                QJsonValue v;
                if (!parseValue(&v, depth + 1))
                    return false;
                arr.append(v);
                skipSpace();
                if (eat(','))
                    continue;
                if (eat(']'))
                    break;
                return error(u"',' or ']' was expected"_s);
            }
            *out = arr;
            return true;
        }
        case 't':
            if (!eatWord("true", 4))
                return error(u"a value was expected"_s);
            *out = true;
            return true;
        case 'f':
            if (!eatWord("false", 5))
                return error(u"a value was expected"_s);
            *out = false;
            return true;
        case 'n':
            if (!eatWord("null", 4))
                return error(u"a value was expected"_s);
            *out = QJsonValue(QJsonValue::Null);
            return true;
        default: {
            double d = 0;
            if (!parseNumber(&d))
                return false;
            *out = d;
            return true;
        }
        }
    }

    bool parseRows(const std::vector<PacketField> &fields, PacketData *data)
    {
        data->columns = emptyColumns(fields);
        std::vector<QByteArrayView> lastRaw(fields.size());
        if (!eat('['))
            return error(u"\"rows\" is not a list"_s);
        size_t row = 0;
        skipSpace();
        if (eat(']'))
            return true;
        for (;;) {
            ++row;
            skipSpace();
            if (!eat('[')) {
                m_error = malformed(u"row %1 is not a list"_s.arg(row));
                return false;
            }
            size_t j = 0;
            skipSpace();
            if (!eat(']')) {
                for (;;) {
                    if (j >= fields.size()) {
                        m_error =
                            malformed(u"row %1 has more than %2 values for %2 fields"_s.arg(row).arg(fields.size()));
                        return false;
                    }
                    skipSpace();
                    if (!parseCell(fields[j], data->columns[j], lastRaw[j], row))
                        return false;
                    ++j;
                    skipSpace();
                    if (eat(','))
                        continue;
                    if (eat(']'))
                        break;
                    return error(u"',' or ']' was expected"_s);
                }
            }
            if (j != fields.size()) {
                m_error = malformed(u"row %1 has %2 values for %3 fields"_s.arg(row).arg(j).arg(fields.size()));
                return false;
            }
            skipSpace();
            if (eat(','))
                continue;
            if (eat(']'))
                break;
            return error(u"',' or ']' was expected"_s);
        }
        data->rowCount = row;
        return true;
    }

    bool parseCell(const PacketField &f, Column &c, QByteArrayView &lastRaw, size_t row)
    {
        if (m_p < m_end && *m_p == 'n') {
            if (!eatWord("null", 4))
                return error(u"a value was expected"_s);
            c.appendNull();
            lastRaw = QByteArrayView();
            return true;
        }
        const auto wrongKind = [&] {
            if (m_error.isEmpty())
                m_error = badValue(row, f);
            return false;
        };
        switch (f.type) {
        case ftBoolean:
            if (eatWord("true", 4))
                appendNumber(c, 1);
            else if (eatWord("false", 5))
                appendNumber(c, 0);
            else
                return wrongKind();
            return true;
        case ftInteger:
        case ftFloat:
        case ftDateTime: {
            if (m_p >= m_end || !(*m_p == '-' || (*m_p >= '0' && *m_p <= '9')))
                return wrongKind();
            double d = 0;
            if (!parseNumber(&d))
                return false;
            if (f.type == ftInteger && d != std::trunc(d))
                return wrongKind();
            appendNumber(c, d);
            return true;
        }
        default: {
            if (m_p >= m_end || *m_p != '"')
                return wrongKind();
            // The same bytes as the row before: share that row's text.
            if (!lastRaw.isNull() && !c.null.empty() && !c.null.back()) {
                const qsizetype n = lastRaw.size();
                if (m_end - m_p >= n + 2 && m_p[n + 1] == '"' && std::memcmp(m_p + 1, lastRaw.data(), size_t(n)) == 0) {
                    m_p += n + 2;
                    c.text.push_back(c.text.back());
                    c.null.push_back(0);
                    return true;
                }
            }
            QString s;
            QByteArrayView raw;
            if (!parseString(&s, &raw))
                return false;
            c.text.push_back(std::move(s));
            c.null.push_back(0);
            lastRaw = raw;
            return true;
        }
        }
    }

    const char *m_begin;
    const char *m_p;
    const char *m_end;
    QString m_error;
};

} // namespace

QJsonArray providerFlagsToJson(TProviderFlags flags)
{
    QJsonArray list;
    for (const FlagName &fn : flagNames)
        if (flags.testFlag(fn.flag))
            list.append(QString::fromUtf16(fn.name));
    return list;
}

QJsonValue cellToJson(TFieldType type, const detail::CellView &cell)
{
    if (cell.null)
        return QJsonValue(QJsonValue::Null);
    switch (type) {
    case ftString:
    case ftFixedChar:
    case ftUnknown: return *cell.text;
    case ftInteger: return qint64(cell.number);
    case ftBoolean: return cell.number != 0;
    case ftFloat:
    case ftDateTime: break;
    }
    return cell.number;
}

namespace detail {

Result<PacketData> readPacket(const QJsonObject &packet)
{
    if (!packet.contains(u"fields"_s))
        return makeError(malformed(u"\"fields\" is missing"_s));
    if (!packet.contains(u"rows"_s))
        return makeError(malformed(u"\"rows\" is missing"_s));
    auto fields = readFields(packet.value(u"fields"_s));
    if (!fields)
        return makeError(fields.error());
    return readRows(std::move(fields).value(), packet.value(u"rows"_s));
}

Result<PacketData> readPacket(const QByteArray &json)
{
    return PacketParser(json).parse();
}

} // namespace detail
} // namespace kpr
