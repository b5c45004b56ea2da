#pragma once
// How a field element writes its value: pt-BR number patterns in the host's notation
// ("#,##0.00" writes 1234.5 as "1.234,50"; up to three sections positive;negative;zero),
// the named formats "integer", "currency" ("R$ 1.234,56"), "date" (dd/MM/yyyy), "datetime"
// and "date:<Qt date pattern>", and the plain text of a value when no format is given.

#include "framework/core/amount.h"
#include "framework/core/result.h"

#include <QString>
#include <QVariant>

#include <vector>

namespace kpr {

class ValueFormat
{
public:
    // An empty text is the plain format. A pattern that is no number pattern, a named
    // format that does not exist, or an empty date pattern is an error naming the text.
    static Result<ValueFormat> parse(const QString &text);

    bool isPlain() const { return m_kind == Kind::Plain; }
    bool isDate() const { return m_kind == Kind::Date; }

    // Null gives "". Numbers given as text ("1234.5", "1234,5") are read as numbers; a text
    // that is none stays as it is. Dates may come as QDate, QDateTime, ISO text or a day
    // number.
    QString format(const QVariant &value, bool blankZero = false) const;
    QString formatAmount(FixedAmount amount, bool blankZero = false) const;

private:
    enum class Kind { Plain, Number, Date };
    struct Section
    {
        QString prefix;
        QString suffix;
        bool hasNumber = false;
        bool grouping = false;
        int minInteger = 0;
        int minDecimals = 0;
        int maxDecimals = 0;
    };

    QString formatDecimal(bool negative, bool zero, QString integerDigits, QString decimals) const;
    QString writeSection(const Section &s, QString integerDigits, QString decimals) const;

    Kind m_kind = Kind::Plain;
    std::vector<Section> m_sections; // 1 to 3; an empty one stands for the first
    QString m_datePattern;
};

// The plain text of a value: dates dd/MM/yyyy (with the time when it is not midnight),
// numbers with a decimal comma and no grouping, text as it is.
QString plainText(const QVariant &value);
// A value as a number: numbers as they are, text in C or pt-BR notation; nullopt otherwise.
std::optional<double> numberOf(const QVariant &value);
// A value as a date-time: QDate, QDateTime, ISO text, dd/MM/yyyy text or a day number.
QDateTime dateTimeOf(const QVariant &value);

} // namespace kpr
