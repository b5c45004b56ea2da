#pragma once
// Query parameters: a named, typed value each. Report layouts declare theirs and the screen
// fills them before the queries run (P_CDFILIAL as text, P_DTFINALCOMP as a float day
// number, ...). Setting through a typed setter also sets the type; setValue keeps the
// declared type and the value as given, and takes the value's type when none was declared.

#include "framework/data/field.h"

#include <QDateTime>
#include <QString>
#include <QVariant>

#include <deque>

namespace kpr {

class TParam
{
public:
    explicit TParam(QString name = {}, TFieldType type = ftUnknown);

    const QString &Name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    TFieldType DataType() const { return m_type; }
    void setDataType(TFieldType type) { m_type = type; }

    bool IsNull() const { return !m_value.isValid() || m_value.isNull(); }
    void Clear() { m_value = QVariant(); }

    QVariant Value() const { return m_value; }
    QVariant AsVariant() const { return m_value; }
    void setValue(const QVariant &value);
    void setAsVariant(const QVariant &value) { setValue(value); }

    // Conversions: a date reads as its day number through AsFloat and as dd/MM/yyyy through
    // AsString; a number reads as a day number through AsDateTime. Null reads "", 0, invalid.
    QString AsString() const;
    double AsFloat() const;
    qint64 AsInteger() const;
    QDateTime AsDateTime() const;
    QDate AsDate() const { return AsDateTime().date(); }
    bool AsBoolean() const;

    void setAsString(const QString &value);
    void setAsFloat(double value);
    void setAsInteger(qint64 value);
    void setAsDateTime(const QDateTime &value);
    void setAsDate(const QDate &value); // DataType ftDateTime, value a QDate
    void setAsBoolean(bool value);

private:
    QString m_name;
    TFieldType m_type;
    QVariant m_value;
};

class TParams
{
public:
    TParam *CreateParam(TFieldType type, const QString &name);
    TParam *FindParam(const QString &name); // case-insensitive; nullptr when absent
    const TParam *FindParam(const QString &name) const;
    TParam *ParamByName(const QString &name); // throws EDatabaseError when absent
    const TParam *ParamByName(const QString &name) const;
    bool Contains(const QString &name) const { return FindParam(name) != nullptr; }

    int Count() const { return int(m_params.size()); }
    TParam &Items(int i) { return m_params.at(size_t(i)); }
    const TParam &Items(int i) const { return m_params.at(size_t(i)); }
    void Clear() { m_params.clear(); }

    auto begin() { return m_params.begin(); }
    auto end() { return m_params.end(); }
    auto begin() const { return m_params.begin(); }
    auto end() const { return m_params.end(); }

private:
    std::deque<TParam> m_params; // a deque keeps references good as parameters are added
};

} // namespace kpr
