#include "framework/data/storage.h"

#include "framework/core/dates.h"
#include "framework/core/strings.h"

#include <QLocale>

#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace kpr::detail {

void Column::reserve(size_t n)
{
    null.reserve(n);
    if (kind == CellKind::Text)
        text.reserve(n);
    else
        number.reserve(n);
}

void Column::appendNull()
{
    null.push_back(1);
    if (kind == CellKind::Text)
        text.emplace_back();
    else
        number.push_back(0.0);
}

void Column::grow(RowId row)
{
    null.resize(size_t(row) + 1, 1);
    if (kind == CellKind::Text)
        text.resize(size_t(row) + 1);
    else
        number.resize(size_t(row) + 1, 0.0);
}

void Column::clear()
{
    text.clear();
    number.clear();
    null.clear();
}

void RecordStore::reset(const std::vector<TFieldType> &types)
{
    columns.clear();
    columns.resize(types.size());
    for (size_t i = 0; i < types.size(); ++i)
        columns[i].kind = kindOf(types[i]);
    labels.clear();
    stamps.clear();
    m_free.clear();
    liveCount = 0;
}

RowId RecordStore::allocate()
{
    RowId row;
    if (!m_free.empty()) {
        row = m_free.back();
        m_free.pop_back();
    } else {
        row = RowId(stamps.size());
        labels.push_back(0);
        stamps.push_back(0);
    }
    stamps[row] = m_nextStamp++;
    ++liveCount;
    return row;
}

void RecordStore::release(RowId row)
{
    for (Column &c : columns) {
        if (row >= c.size())
            continue;
        c.null[row] = 1;
        if (c.kind == CellKind::Text)
            c.text[row] = QString();
    }
    stamps[row] = 0;
    m_free.push_back(row);
    --liveCount;
}

void RecordStore::setCell(int column, RowId row, Cell &&value)
{
    Column &c = columns[size_t(column)];
    if (value.null && row >= c.size())
        return; // already null
    c.ensure(row);
    c.null[row] = value.null ? 1 : 0;
    if (c.kind == CellKind::Text)
        c.text[row] = value.null ? QString() : std::move(value.text);
    else
        c.number[row] = value.null ? 0.0 : value.number;
}

void RecordStore::adopt(std::vector<Column> &&loaded, size_t rowCount, qint64 labelGap)
{
    columns = std::move(loaded);
    labels.resize(rowCount);
    stamps.resize(rowCount);
    for (size_t i = 0; i < rowCount; ++i) {
        labels[i] = qint64(i) * labelGap;
        stamps[i] = m_nextStamp++;
    }
    m_free.clear();
    liveCount = rowCount;
}

double normalizeDayNumber(double dayNumber)
{
    constexpr double msPerDay = 86400000.0;
    return std::round(dayNumber * msPerDay) / msPerDay;
}

namespace {

QString formatDateTime(double dayNumber)
{
    const QDateTime dt = dayNumberToDateTime(dayNumber);
    QString text = formatDateBR(dt.date());
    if (dt.time().msecsSinceStartOfDay() != 0)
        text += u' ' + dt.time().toString(u"HH:mm:ss"_s);
    return text;
}

bool parseNumber(const QString &text, double *value)
{
    bool ok = false;
    const QString t = text.trimmed();
    *value = QLocale::c().toDouble(t, &ok);
    if (!ok) // the workstation writes a decimal comma
        *value = QLocale::c().toDouble(QString(t).replace(u',', u'.'), &ok);
    return ok;
}

// "dd/MM/yyyy", optionally followed by "HH:mm" or "HH:mm:ss".
bool parseDateTime(const QString &text, double *dayNumber)
{
    const QString t = text.trimmed();
    const qsizetype space = t.indexOf(u' ');
    const QDate date = parseDateBR(space < 0 ? t : t.left(space));
    if (!date.isValid())
        return false;
    QTime time(0, 0);
    if (space >= 0) {
        const QString timeText = t.mid(space + 1).trimmed();
        time = QTime::fromString(timeText, u"H:mm:ss"_s);
        if (!time.isValid())
            time = QTime::fromString(timeText, u"H:mm"_s);
        if (!time.isValid())
            return false;
    }
    *dayNumber = normalizeDayNumber(toDayNumber(QDateTime(date, time)));
    return true;
}

Cell textCell(QString text, int size)
{
    Cell c;
    c.text = size > 0 ? cutToWidth(text, size) : std::move(text);
    c.null = false;
    return c;
}

Cell numberCell(double value)
{
    Cell c;
    c.number = value;
    c.null = false;
    return c;
}

} // namespace

QString cellAsString(TFieldType type, const CellView &cell)
{
    if (cell.null)
        return QString();
    switch (type) {
    case ftString:
    case ftFixedChar: return *cell.text;
    case ftInteger: return QString::number(qint64(cell.number));
    case ftDateTime: return formatDateTime(cell.number);
    case ftBoolean: return cell.number != 0 ? u"True"_s : u"False"_s;
    case ftFloat:
    case ftUnknown: break;
    }
    return QString::number(cell.number, 'g', 15);
}

double cellAsFloat(TFieldType type, const CellView &cell, const QString &field)
{
    if (cell.null)
        return 0.0;
    if (!isTextType(type))
        return cell.number;
    if (cell.text->trimmed().isEmpty())
        return 0.0;
    double value = 0;
    if (!parseNumber(*cell.text, &value))
        throw EDatabaseError(u"'%1' is not a valid floating point value for field '%2'"_s.arg(*cell.text, field));
    return value;
}

QDateTime cellAsDateTime(TFieldType type, const CellView &cell, const QString &field)
{
    if (cell.null)
        return QDateTime();
    if (!isTextType(type))
        return dayNumberToDateTime(cell.number);
    if (cell.text->trimmed().isEmpty())
        return QDateTime();
    double day = 0;
    if (!parseDateTime(*cell.text, &day))
        throw EDatabaseError(u"'%1' is not a valid date and time for field '%2'"_s.arg(*cell.text, field));
    return dayNumberToDateTime(day);
}

bool cellAsBoolean(TFieldType type, const CellView &cell)
{
    if (cell.null)
        return false;
    if (!isTextType(type))
        return cell.number != 0;
    if (cell.text->isEmpty())
        return false;
    switch (cell.text->at(0).toUpper().unicode()) {
    case 'T':
    case 'Y':
    case 'S':
    case '1': return true;
    default: return false;
    }
}

QVariant cellAsVariant(TFieldType type, const CellView &cell)
{
    if (cell.null)
        return QVariant();
    switch (type) {
    case ftString:
    case ftFixedChar: return *cell.text;
    case ftInteger: return QVariant(qlonglong(cell.number));
    case ftDateTime: return dayNumberToDateTime(cell.number);
    case ftBoolean: return cell.number != 0;
    case ftFloat:
    case ftUnknown: break;
    }
    return cell.number;
}

Cell cellFromString(TFieldType type, int size, const QString &value, const QString &field)
{
    if (isTextType(type))
        return textCell(value, size);
    if (value.trimmed().isEmpty())
        return Cell{};
    double number = 0;
    switch (type) {
    case ftDateTime:
        if (!parseDateTime(value, &number))
            throw EDatabaseError(u"'%1' is not a valid date and time for field '%2'"_s.arg(value, field));
        return numberCell(number);
    case ftBoolean: {
        const QString t = value.trimmed();
        if (t.compare(u"True"_s, Qt::CaseInsensitive) == 0 || t == u"1"_s)
            return numberCell(1);
        if (t.compare(u"False"_s, Qt::CaseInsensitive) == 0 || t == u"0"_s)
            return numberCell(0);
        throw EDatabaseError(u"'%1' is not a valid boolean value for field '%2'"_s.arg(value, field));
    }
    case ftInteger:
        if (!parseNumber(value, &number) || number != std::trunc(number))
            throw EDatabaseError(u"'%1' is not a valid integer value for field '%2'"_s.arg(value, field));
        return numberCell(number);
    default:
        if (!parseNumber(value, &number))
            throw EDatabaseError(u"'%1' is not a valid floating point value for field '%2'"_s.arg(value, field));
        return numberCell(number);
    }
}

Cell cellFromFloat(TFieldType type, int size, double value)
{
    switch (type) {
    case ftString:
    case ftFixedChar: return textCell(QString::number(value, 'g', 15), size);
    case ftInteger: return numberCell(std::round(value));
    case ftDateTime: return numberCell(normalizeDayNumber(value));
    case ftBoolean: return numberCell(value != 0 ? 1 : 0);
    case ftFloat:
    case ftUnknown: break;
    }
    return numberCell(value);
}

Cell cellFromDateTime(TFieldType type, int size, const QDateTime &value)
{
    if (!value.isValid())
        return Cell{};
    const double day = normalizeDayNumber(toDayNumber(value));
    if (isTextType(type))
        return textCell(formatDateTime(day), size);
    return cellFromFloat(type, size, day);
}

Cell cellFromBoolean(TFieldType type, int size, bool value)
{
    if (isTextType(type))
        return textCell(value ? u"True"_s : u"False"_s, size);
    return numberCell(value ? 1 : 0);
}

Cell cellFromVariant(TFieldType type, int size, const QVariant &value, const QString &field)
{
    if (!value.isValid() || value.isNull())
        return Cell{};
    switch (value.typeId()) {
    case QMetaType::QString: return cellFromString(type, size, value.toString(), field);
    case QMetaType::Bool: return cellFromBoolean(type, size, value.toBool());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float: return cellFromFloat(type, size, value.toDouble());
    case QMetaType::QDate: {
        const QDate d = value.toDate();
        if (!d.isValid())
            return Cell{};
        if (isTextType(type))
            return textCell(formatDateBR(d), size);
        return cellFromFloat(type, size, toDayNumber(d));
    }
    case QMetaType::QDateTime: return cellFromDateTime(type, size, value.toDateTime());
    default: return cellFromString(type, size, value.toString(), field);
    }
}

Cell keyCellFromVariant(TFieldType type, const QVariant &value, const QString &field)
{
    return cellFromVariant(type, 0, value, field);
}

} // namespace kpr::detail
