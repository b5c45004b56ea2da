#pragma once
// A field of an in-memory table: its definition (name, type, width, labels, flags) and typed
// access to its value in the table's current record (or in the record being edited).
// Getters bear the host's property names (AsString, IsNull, ...); setters are set + name.

#include "framework/data/packetfield.h"
#include "framework/core/abort.h"

#include <QDateTime>
#include <QFlags>
#include <QString>
#include <QVariant>

#include <functional>

namespace kpr {

class TClientDataSet;

// Failures of the data layer: unknown fields, wrong state, malformed packets. The text names
// the table ("qryTotal: Field 'X' not found") and is meant for the user as it stands.
class EDatabaseError : public EKprError
{
public:
    using EKprError::EKprError;
};

QString fieldTypeName(TFieldType type); // "String", "Float", ... for messages

class TField
{
public:
    // Receives the field and whether the text is for display (true) or for editing.
    using GetTextEvent = std::function<QString(const TField &field, bool displayText)>;

    TField(TClientDataSet *dataSet, int index, QString name, TFieldType type, int size);
    TField(const TField &) = delete;
    TField &operator=(const TField &) = delete;

    TClientDataSet *DataSet() const { return m_dataSet; }
    int Index() const { return m_index; }
    const QString &FieldName() const { return m_name; }
    TFieldType DataType() const { return m_type; }
    int Size() const { return m_size; }

    QString DisplayLabel() const { return m_displayLabel.isEmpty() ? m_name : m_displayLabel; }
    void setDisplayLabel(const QString &label) { m_displayLabel = label; }
    int DisplayWidth() const;
    void setDisplayWidth(int width) { m_displayWidth = width; }
    bool Visible() const { return m_visible; }
    void setVisible(bool visible) { m_visible = visible; }
    // A read-only field refuses values set through it; loading a packet still fills it.
    bool ReadOnly() const { return m_readOnly; }
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    // Post refuses a record whose required field is null.
    bool Required() const { return m_required; }
    void setRequired(bool required) { m_required = required; }
    TProviderFlags ProviderFlags() const { return m_providerFlags; }
    void setProviderFlags(TProviderFlags flags) { m_providerFlags = flags; }

    GetTextEvent OnGetText;
    // The text a grid shows: OnGetText(field, true) when set, else AsString.
    QString DisplayText() const;
    // The text an editor shows: OnGetText(field, false) when set, else AsString.
    QString Text() const;

    // Reading: a null value reads as "", 0, false and an invalid QDateTime; Value() is an
    // invalid QVariant. Values of another type are converted (a date as dd/MM/yyyy text, a
    // day number as AsFloat); a text that is no number throws EDatabaseError.
    bool IsNull() const;
    QString AsString() const;
    double AsFloat() const;
    qint64 AsInteger() const;
    QDateTime AsDateTime() const;
    bool AsBoolean() const;
    QVariant AsVariant() const;
    QVariant Value() const { return AsVariant(); }

    // Writing needs the table in insert or edit state. Text is cut to Size. An empty text
    // given to a numeric or date field clears it; an invalid QDateTime clears the field.
    void Clear();
    void setAsString(const QString &value);
    void setAsFloat(double value);
    void setAsInteger(qint64 value);
    void setAsDateTime(const QDateTime &value);
    void setAsDate(const QDate &value);
    void setAsBoolean(bool value);
    // null / invalid -> Clear; QString, numbers, bool, QDate, QDateTime by their kind.
    void setAsVariant(const QVariant &value);
    void setValue(const QVariant &value) { setAsVariant(value); }
    // The value of source (null stays null). Between fields of one kind it is copied as
    // stored, a date as its day number: a QDateTime in local time costs a time-zone
    // look-up per value, which dominates a loop that moves dates from table to table.
    void Assign(const TField &source);

private:
    friend class TClientDataSet; // renumbers fields taken from a packet
    void checkWritable() const;

    TClientDataSet *m_dataSet;
    int m_index;
    QString m_name;
    TFieldType m_type;
    int m_size;
    QString m_displayLabel;
    int m_displayWidth = 0;
    bool m_visible = true;
    bool m_readOnly = false;
    bool m_required = false;
    TProviderFlags m_providerFlags = TProviderFlags(pfInUpdate) | pfInWhere;
};

} // namespace kpr
