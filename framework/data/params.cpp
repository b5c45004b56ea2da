#include "framework/data/params.h"

#include "framework/core/dates.h"
#include "framework/data/storage.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr {

TParam::TParam(QString name, TFieldType type) : m_name(std::move(name)), m_type(type) {}

void TParam::setValue(const QVariant &value)
{
    m_value = value;
    if (m_type != ftUnknown || IsNull())
        return;
    switch (value.typeId()) {
    case QMetaType::QString: m_type = ftString; break;
    case QMetaType::Bool: m_type = ftBoolean; break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: m_type = ftInteger; break;
    case QMetaType::QDate:
    case QMetaType::QDateTime: m_type = ftDateTime; break;
    default: m_type = ftFloat; break;
    }
}

QString TParam::AsString() const
{
    if (IsNull())
        return QString();
    switch (m_value.typeId()) {
    case QMetaType::QDate: return formatDateBR(m_value.toDate());
    case QMetaType::QDateTime:
        return detail::cellAsString(ftDateTime,
                                    {nullptr, detail::normalizeDayNumber(toDayNumber(m_value.toDateTime())), false});
    case QMetaType::Double:
    case QMetaType::Float: return QString::number(m_value.toDouble(), 'g', 15);
    case QMetaType::Bool: return m_value.toBool() ? u"True"_s : u"False"_s;
    default: return m_value.toString();
    }
}

double TParam::AsFloat() const
{
    if (IsNull())
        return 0.0;
    switch (m_value.typeId()) {
    case QMetaType::QDate: return toDayNumber(m_value.toDate());
    case QMetaType::QDateTime: return toDayNumber(m_value.toDateTime());
    case QMetaType::QString: {
        const QString text = m_value.toString();
        return detail::cellAsFloat(ftString, {&text, 0, false}, m_name);
    }
    default: return m_value.toDouble();
    }
}

qint64 TParam::AsInteger() const
{
    return qint64(AsFloat());
}

QDateTime TParam::AsDateTime() const
{
    if (IsNull())
        return QDateTime();
    switch (m_value.typeId()) {
    case QMetaType::QDate: return QDateTime(m_value.toDate(), QTime(0, 0));
    case QMetaType::QDateTime: return m_value.toDateTime();
    case QMetaType::QString: {
        const QString text = m_value.toString();
        return detail::cellAsDateTime(ftString, {&text, 0, false}, m_name);
    }
    default: return dayNumberToDateTime(m_value.toDouble());
    }
}

bool TParam::AsBoolean() const
{
    if (IsNull())
        return false;
    if (m_value.typeId() == QMetaType::QString) {
        const QString text = m_value.toString();
        return detail::cellAsBoolean(ftString, {&text, 0, false});
    }
    return m_value.toBool();
}

void TParam::setAsString(const QString &value)
{
    m_type = ftString;
    m_value = value;
}

void TParam::setAsFloat(double value)
{
    m_type = ftFloat;
    m_value = value;
}

void TParam::setAsInteger(qint64 value)
{
    m_type = ftInteger;
    m_value = QVariant(qlonglong(value));
}

void TParam::setAsDateTime(const QDateTime &value)
{
    m_type = ftDateTime;
    m_value = value.isValid() ? QVariant(value) : QVariant();
}

void TParam::setAsDate(const QDate &value)
{
    m_type = ftDateTime;
    m_value = value.isValid() ? QVariant(value) : QVariant();
}

void TParam::setAsBoolean(bool value)
{
    m_type = ftBoolean;
    m_value = value;
}

TParam *TParams::CreateParam(TFieldType type, const QString &name)
{
    if (FindParam(name))
        throw EDatabaseError(u"Duplicate parameter name '%1'"_s.arg(name));
    m_params.emplace_back(name, type);
    return &m_params.back();
}

const TParam *TParams::FindParam(const QString &name) const
{
    for (const TParam &p : m_params)
        if (p.Name().compare(name, Qt::CaseInsensitive) == 0)
            return &p;
    return nullptr;
}

TParam *TParams::FindParam(const QString &name)
{
    return const_cast<TParam *>(std::as_const(*this).FindParam(name));
}

const TParam *TParams::ParamByName(const QString &name) const
{
    const TParam *p = FindParam(name);
    if (!p)
        throw EDatabaseError(u"Parameter '%1' not found"_s.arg(name));
    return p;
}

TParam *TParams::ParamByName(const QString &name)
{
    return const_cast<TParam *>(std::as_const(*this).ParamByName(name));
}

} // namespace kpr
