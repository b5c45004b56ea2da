#include "framework/data/field.h"

#include "framework/core/dates.h"
#include "framework/data/clientdataset.h"
#include "framework/data/storage.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr {

QString fieldTypeName(TFieldType type)
{
    switch (type) {
    case ftString: return u"String"_s;
    case ftFixedChar: return u"FixedChar"_s;
    case ftFloat: return u"Float"_s;
    case ftInteger: return u"Integer"_s;
    case ftDateTime: return u"DateTime"_s;
    case ftBoolean: return u"Boolean"_s;
    case ftUnknown: break;
    }
    return u"Unknown"_s;
}

TField::TField(TClientDataSet *dataSet, int index, QString name, TFieldType type, int size)
    : m_dataSet(dataSet),
      m_index(index),
      m_name(std::move(name)),
      m_type(type == ftUnknown ? ftString : type),
      m_size(size)
{}

int TField::DisplayWidth() const
{
    if (m_displayWidth > 0)
        return m_displayWidth;
    return isTextType(m_type) && m_size > 0 ? m_size : 10;
}

QString TField::DisplayText() const
{
    return OnGetText ? OnGetText(*this, true) : AsString();
}

QString TField::Text() const
{
    return OnGetText ? OnGetText(*this, false) : AsString();
}

namespace {
// Conversion errors come from helpers that do not know the table: name it here.
template<typename F>
auto namingTable(const TClientDataSet *ds, F &&fn)
{
    try {
        return fn();
    } catch (const EDatabaseError &e) {
        if (ds->objectName().isEmpty())
            throw;
        throw EDatabaseError(ds->objectName() + u": "_s + e.text());
    }
}
} // namespace

bool TField::IsNull() const
{
    return m_dataSet->readCell(m_index).null;
}

QString TField::AsString() const
{
    return detail::cellAsString(m_type, m_dataSet->readCell(m_index));
}

double TField::AsFloat() const
{
    return namingTable(m_dataSet, [&] { return detail::cellAsFloat(m_type, m_dataSet->readCell(m_index), m_name); });
}

qint64 TField::AsInteger() const
{
    return qint64(AsFloat());
}

QDateTime TField::AsDateTime() const
{
    return namingTable(m_dataSet, [&] { return detail::cellAsDateTime(m_type, m_dataSet->readCell(m_index), m_name); });
}

bool TField::AsBoolean() const
{
    return detail::cellAsBoolean(m_type, m_dataSet->readCell(m_index));
}

QVariant TField::AsVariant() const
{
    return detail::cellAsVariant(m_type, m_dataSet->readCell(m_index));
}

void TField::checkWritable() const
{
    if (m_readOnly)
        m_dataSet->fail(u"Field '%1' cannot be modified"_s.arg(m_name));
}

void TField::Clear()
{
    checkWritable();
    m_dataSet->writeCell(m_index, detail::Cell{});
}

void TField::setAsString(const QString &value)
{
    checkWritable();
    if (isTextType(m_type)) { // the common case, without the conversions
        detail::Cell c;
        c.text = (m_size > 0 && value.size() > m_size) ? value.left(m_size) : value;
        c.null = false;
        m_dataSet->writeCell(m_index, std::move(c));
        return;
    }
    m_dataSet->writeCell(m_index,
                         namingTable(m_dataSet, [&] { return detail::cellFromString(m_type, m_size, value, m_name); }));
}

void TField::setAsFloat(double value)
{
    checkWritable();
    m_dataSet->writeCell(m_index, detail::cellFromFloat(m_type, m_size, value));
}

void TField::setAsInteger(qint64 value)
{
    checkWritable();
    m_dataSet->writeCell(m_index, isTextType(m_type)
                                      ? detail::cellFromString(m_type, m_size, QString::number(value), m_name)
                                      : detail::cellFromFloat(m_type, m_size, double(value)));
}

void TField::setAsDateTime(const QDateTime &value)
{
    checkWritable();
    m_dataSet->writeCell(m_index, detail::cellFromDateTime(m_type, m_size, value));
}

void TField::setAsDate(const QDate &value)
{
    checkWritable();
    m_dataSet->writeCell(m_index, detail::cellFromVariant(m_type, m_size, QVariant(value), m_name));
}

void TField::Assign(const TField &source)
{
    checkWritable();
    const detail::CellView cell = source.m_dataSet->readCell(source.m_index);
    if (cell.null) {
        m_dataSet->writeCell(m_index, detail::Cell{});
        return;
    }
    if (source.m_type == m_type && !isTextType(m_type)) {
        m_dataSet->writeCell(m_index, detail::cellFromFloat(m_type, m_size, cell.number));
        return;
    }
    if (isTextType(source.m_type) && isTextType(m_type)) {
        setAsString(*cell.text);
        return;
    }
    setAsVariant(source.AsVariant());
}

void TField::setAsBoolean(bool value)
{
    checkWritable();
    m_dataSet->writeCell(m_index, detail::cellFromBoolean(m_type, m_size, value));
}

void TField::setAsVariant(const QVariant &value)
{
    checkWritable();
    m_dataSet->writeCell(
        m_index, namingTable(m_dataSet, [&] { return detail::cellFromVariant(m_type, m_size, value, m_name); }));
}

} // namespace kpr
