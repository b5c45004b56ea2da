#include "framework/data/datapacket.h"

#include "framework/core/paddedjson.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <simdjson.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string_view>

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

// One field definition as the packet gives it, before it is checked: both readers fill
// one, and checkField holds the rules.
struct FieldDef
{
    QString name;
    QString type;
    enum { NoSize, Size, BadSize } sizeIs = NoSize; // absent or null is NoSize
    double size = 0;
    enum { DefaultFlags, FlagList, FlagsNotAList } flagsAre = DefaultFlags;
    QStringList flags; // a flag that is not a text is the empty name
};

Result<PacketField> checkField(const FieldDef &def, qsizetype number)
{
    PacketField f;
    f.name = def.name;
    if (f.name.isEmpty())
        return makeError(malformed(u"field %1 has no name"_s.arg(number)));
    const auto type = packetFieldType(def.type);
    if (!type)
        return makeError(malformed(u"field '%1' has the unknown type '%2'"_s.arg(f.name, def.type)));
    f.type = *type;
    if (def.sizeIs == FieldDef::BadSize
        || (def.sizeIs == FieldDef::Size && (def.size < 0 || def.size != std::trunc(def.size))))
        return makeError(malformed(u"field '%1' has an invalid size"_s.arg(f.name)));
    if (def.sizeIs == FieldDef::Size && isTextType(f.type))
        f.size = def.size <= std::numeric_limits<int>::max() ? int(def.size) : 0; // as QJsonValue::toInt
    if (def.flagsAre == FieldDef::FlagsNotAList)
        return makeError(malformed(u"the flags of field '%1' are not a list"_s.arg(f.name)));
    if (def.flagsAre == FieldDef::FlagList) {
        f.flags = {};
        for (const QString &name : def.flags) {
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

Result<PacketField> readField(const QJsonValue &value, qsizetype number)
{
    if (!value.isObject())
        return makeError(malformed(u"field %1 is not an object"_s.arg(number)));
    const QJsonObject obj = value.toObject();
    FieldDef def;
    def.name = obj.value(u"name"_s).toString();
    def.type = obj.value(u"type"_s).toString();
    const QJsonValue size = obj.value(u"size"_s);
    if (size.isDouble()) {
        def.sizeIs = FieldDef::Size;
        def.size = size.toDouble();
    } else if (!size.isUndefined() && !size.isNull()) {
        def.sizeIs = FieldDef::BadSize;
    }
    const QJsonValue flags = obj.value(u"flags"_s);
    if (flags.isArray()) {
        def.flagsAre = FieldDef::FlagList;
        for (const QJsonValue flag : flags.toArray())
            def.flags.append(flag.toString());
    } else if (!flags.isUndefined()) {
        def.flagsAre = FieldDef::FlagsNotAList;
    }
    return checkField(def, number);
}

bool sameName(const std::vector<PacketField> &fields, const QString &name)
{
    for (const PacketField &other : fields)
        if (other.name.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
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
        if (sameName(fields, f->name))
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

QString badValueText(size_t row, const PacketField &f)
{
    return u"row %1, field '%2': %3 was expected"_s.arg(row).arg(f.name, expectedKind(f.type));
}

QString badValue(size_t row, const PacketField &f)
{
    return malformed(badValueText(row, f));
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

namespace od = simdjson::ondemand;

// What is wrong with a packet text simdjson refused, and where. simdjson finds the fault
// but not always its place (a text cut short and one with something after the packet
// look alike to it), so on this path only Qt's parser reads the text again to name it.
QString syntaxError(const QByteArray &json, simdjson::error_code code)
{
    QJsonParseError e;
    QJsonDocument::fromJson(json, &e);
    if (e.error == QJsonParseError::NoError) // what only simdjson refuses (an unknown escape, say)
        return malformed(QString::fromUtf8(simdjson::error_message(code)));
    qsizetype end = json.size();
    while (end > 0 && QChar::isSpace(uchar(json.at(end - 1))))
        --end;
    QString what;
    switch (e.error) {
    case QJsonParseError::GarbageAtEnd: what = u"text after the packet"_s; break;
    case QJsonParseError::UnterminatedObject: what = u"',' or '}' was expected"_s; break;
    case QJsonParseError::MissingNameSeparator: what = u"':' was expected"_s; break;
    case QJsonParseError::UnterminatedArray: what = u"',' or ']' was expected"_s; break;
    case QJsonParseError::MissingValueSeparator: what = u"',' was expected"_s; break;
    case QJsonParseError::IllegalNumber: what = u"a bad number"_s; break;
    case QJsonParseError::IllegalEscapeSequence: what = u"a bad escape"_s; break;
    case QJsonParseError::IllegalUTF8String: what = u"a text that is not UTF-8"_s; break;
    case QJsonParseError::UnterminatedString: what = u"an unterminated text"_s; break;
    case QJsonParseError::DeepNesting: what = u"values nested too deep"_s; break;
    default: what = u"a value was expected"_s; break;
    }
    // A text that stops short lacks a value, whatever it was in the middle of.
    if (e.offset >= end && e.error != QJsonParseError::GarbageAtEnd)
        what = u"a value was expected"_s;
    return malformed(u"%1 at offset %2"_s.arg(what).arg(e.offset));
}

// One pass over the packet text with simdjson's On Demand API, straight into columns: no
// JSON document is built. Members come in any order; rows met before the fields are
// skipped and read from their text once the fields are known.
class PacketReader
{
public:
    explicit PacketReader(const QByteArray &json) : m_json(json), m_text(json) {}

    Result<PacketData> read()
    {
        od::document doc;
        if (const auto code = m_parser.iterate(m_text.view).get(doc))
            return code == simdjson::EMPTY ? makeError(malformed(u"not a JSON object"_s)) : failSyntax(code);
        od::json_type type;
        if (doc.type().get(type) || type != od::json_type::object)
            return makeError(malformed(u"not a JSON object"_s));
        od::object packet;
        if (const auto code = doc.get_object().get(packet))
            return failSyntax(code);
        std::optional<std::vector<PacketField>> fields;
        // The text of rows met before the fields (never empty when there are such rows: at
        // least "[]").
        std::string_view laterRows;
        bool laterRowsNotAList = false;
        std::optional<PacketData> data;
        for (auto member : packet) {
            od::field m;
            std::string_view key;
            if (auto code = std::move(member).get(m); code || (code = m.unescaped_key().get(key)))
                return failSyntax(code);
            od::value v = m.value();
            if (key == "fields") {
                fields.emplace();
                if (!readFields(v, *fields))
                    return failed();
            } else if (key == "rows") {
                od::json_type t;
                if (const auto code = v.type().get(t))
                    return failSyntax(code);
                od::array rows;
                if (t == od::json_type::array)
                    if (const auto code = v.get_array().get(rows))
                        return failSyntax(code);
                if (fields) {
                    if (t != od::json_type::array)
                        return makeError(malformed(u"\"rows\" is not a list"_s));
                    data.emplace();
                    if (!readRows(rows, *fields, *data))
                        return failed();
                } else {
                    laterRowsNotAList = t != od::json_type::array;
                    laterRows = {};
                    if (!laterRowsNotAList) {
                        if (const auto code = rows.raw_json().get(laterRows))
                            return failSyntax(code);
                    }
                }
            }
            // Any other member is skipped.
        }
        if (const char *at = nullptr; !doc.current_location().get(at))
            return failSyntax(simdjson::TRAILING_CONTENT);
        if (!fields)
            return makeError(malformed(u"\"fields\" is missing"_s));
        if (laterRowsNotAList)
            return makeError(malformed(u"\"rows\" is not a list"_s));
        if (!laterRows.empty()) {
            // The rows' text lies inside the packet's, whose padding follows it.
            const char *padEnd = m_text.view.data() + m_text.view.capacity();
            od::document rowsDoc;
            od::array rows;
            data.emplace();
            if (auto code = m_parser.iterate(laterRows.data(), laterRows.size(), size_t(padEnd - laterRows.data()))
                                .get(rowsDoc);
                code || (code = rowsDoc.get_array().get(rows)))
                return failSyntax(code);
            if (!readRows(rows, *fields, *data))
                return failed();
        }
        if (!data)
            return makeError(malformed(u"\"rows\" is missing"_s));
        data->fields = std::move(*fields);
        return std::move(*data);
    }

private:
    Result<PacketData> failSyntax(simdjson::error_code code)
    {
        syntax(code);
        return failed();
    }
    Result<PacketData> failed() { return makeError(m_error); }
    bool syntax(simdjson::error_code code)
    {
        m_error = syntaxError(m_json, code);
        return false;
    }
    bool fail(const QString &what)
    {
        m_error = malformed(what);
        return false;
    }

    // A text member of a field definition; any other value reads as the empty text.
    bool readText(od::value v, QString *out)
    {
        od::json_type t;
        std::string_view s;
        if (const auto code = v.type().get(t))
            return syntax(code);
        if (t != od::json_type::string) {
            out->clear();
            return true;
        }
        if (const auto code = v.get_string().get(s))
            return syntax(code);
        *out = QString::fromUtf8(s.data(), qsizetype(s.size()));
        return true;
    }

    bool readFieldDef(od::value v, FieldDef *def)
    {
        od::object obj;
        if (const auto code = v.get_object().get(obj))
            return syntax(code);
        for (auto member : obj) {
            od::field m;
            std::string_view key;
            if (auto code = std::move(member).get(m); code || (code = m.unescaped_key().get(key)))
                return syntax(code);
            od::value mv = m.value();
            if (key == "name" || key == "type") {
                if (!readText(mv, key == "name" ? &def->name : &def->type))
                    return false;
            } else if (key == "size") {
                od::json_type t;
                if (const auto code = mv.type().get(t))
                    return syntax(code);
                def->sizeIs = t == od::json_type::null ? FieldDef::NoSize : FieldDef::BadSize;
                if (t == od::json_type::number) {
                    if (const auto code = mv.get_double().get(def->size))
                        return syntax(code);
                    def->sizeIs = FieldDef::Size;
                }
            } else if (key == "flags") {
                od::json_type t;
                if (const auto code = mv.type().get(t))
                    return syntax(code);
                def->flags.clear();
                def->flagsAre = FieldDef::FlagsNotAList;
                if (t != od::json_type::array)
                    continue;
                def->flagsAre = FieldDef::FlagList;
                od::array flags;
                if (const auto code = mv.get_array().get(flags))
                    return syntax(code);
                for (auto flag : flags) {
                    od::value fv;
                    if (const auto code = flag.get(fv))
                        return syntax(code);
                    if (!readText(fv, &def->flags.emplace_back()))
                        return false;
                }
            }
        }
        return true;
    }

    bool readFields(od::value v, std::vector<PacketField> &fields)
    {
        od::json_type t;
        if (const auto code = v.type().get(t))
            return syntax(code);
        if (t != od::json_type::array)
            return fail(u"\"fields\" is not a list"_s);
        od::array defs;
        if (const auto code = v.get_array().get(defs))
            return syntax(code);
        qsizetype number = 0;
        for (auto d : defs) {
            ++number;
            od::value dv;
            if (auto code = d.get(dv); code || (code = dv.type().get(t)))
                return syntax(code);
            if (t != od::json_type::object)
                return fail(u"field %1 is not an object"_s.arg(number));
            FieldDef def;
            if (!readFieldDef(dv, &def))
                return false;
            auto f = checkField(def, number);
            if (!f) {
                m_error = f.error();
                return false;
            }
            if (sameName(fields, f->name))
                return fail(u"field '%1' appears twice"_s.arg(f->name));
            fields.push_back(std::move(f).value());
        }
        return true;
    }

    bool readRows(od::array rows, const std::vector<PacketField> &fields, PacketData &data)
    {
        data.columns = emptyColumns(fields);
        // The raw text of each column's last value, while it is a text: a row that repeats
        // it shares the row before's QString (appendText does the same).
        std::vector<std::optional<std::string_view>> last(fields.size());
        size_t row = 0;
        for (auto r : rows) {
            ++row;
            od::value rv;
            od::json_type t;
            if (auto code = r.get(rv); code || (code = rv.type().get(t)))
                return syntax(code);
            if (t != od::json_type::array)
                return fail(u"row %1 is not a list"_s.arg(row));
            od::array cells;
            if (const auto code = rv.get_array().get(cells))
                return syntax(code);
            size_t j = 0;
            for (auto cell : cells) {
                if (j >= fields.size())
                    return fail(u"row %1 has more than %2 values for %2 fields"_s.arg(row).arg(fields.size()));
                od::value cv;
                if (const auto code = cell.get(cv))
                    return syntax(code);
                if (!readCell(cv, fields[j], data.columns[j], last[j], row))
                    return false;
                ++j;
            }
            if (j != fields.size())
                return fail(u"row %1 has %2 values for %3 fields"_s.arg(row).arg(j).arg(fields.size()));
        }
        data.rowCount = row;
        return true;
    }

    bool readCell(od::value v, const PacketField &f, Column &c, std::optional<std::string_view> &last, size_t row)
    {
        od::json_type t;
        if (const auto code = v.type().get(t))
            return syntax(code);
        if (t == od::json_type::null) {
            bool isNull = false;
            if (const auto code = v.is_null().get(isNull))
                return syntax(code);
            if (!isNull)
                return syntax(simdjson::N_ATOM_ERROR);
            c.appendNull();
            last.reset();
            return true;
        }
        switch (f.type) {
        case ftBoolean: {
            bool b = false;
            if (t != od::json_type::boolean)
                return fail(badValueText(row, f));
            if (const auto code = v.get_bool().get(b))
                return syntax(code);
            appendNumber(c, b ? 1 : 0);
            return true;
        }
        case ftInteger:
        case ftFloat:
        case ftDateTime: {
            double d = 0;
            if (t != od::json_type::number)
                return fail(badValueText(row, f));
            if (const auto code = v.get_double().get(d))
                return syntax(code);
            if (f.type == ftInteger && d != std::trunc(d))
                return fail(badValueText(row, f));
            appendNumber(c, d);
            return true;
        }
        default: {
            if (t != od::json_type::string)
                return fail(badValueText(row, f));
            // The same bytes as the row before's text: its QString is shared, and the
            // value is neither unescaped nor converted again (simdjson skips it).
            const std::string_view token = v.raw_json_token();
            if (last && *last == token) {
                c.text.push_back(c.text.back());
            } else {
                std::string_view s;
                if (const auto code = v.get_string().get(s))
                    return syntax(code);
                c.text.push_back(QString::fromUtf8(s.data(), qsizetype(s.size())));
                last = token;
            }
            c.null.push_back(0);
            return true;
        }
        }
    }

    const QByteArray &m_json;
    PaddedJson m_text;
    od::parser m_parser;
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
    return PacketReader(json).read();
}

} // namespace detail
} // namespace kpr
