#include "appserver/sqlvalue.h"

#include <QDateTime>

#include <cmath>
#include <limits>

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver {

QVariant dateParam(const QDate &date, Dialect dialect)
{
    if (dialect == Dialect::SQLite)
        return date.toString(Qt::ISODate);
    return date;
}

QDate dateFromSql(const QVariant &value)
{
    if (value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::QDate: return value.toDate();
    case QMetaType::QDateTime: return value.toDateTime().date();
    default: break;
    }
    // SQLite: "yyyy-MM-dd", or a timestamp "yyyy-MM-ddThh:mm:ss..." / "yyyy-MM-dd hh:mm:ss".
    const QString text = value.toString().trimmed();
    return QDate::fromString(text.left(10), Qt::ISODate);
}

std::optional<double> doubleFromSql(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    bool ok = false;
    const double d = value.toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return std::nullopt;
    return d;
}

std::optional<qint64> centsFromText(const QString &raw)
{
    const QString text = raw.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    int i = 0;
    bool negative = false;
    if (text[0] == u'-' || text[0] == u'+') {
        negative = text[0] == u'-';
        ++i;
    }
    qint64 whole = 0;
    int digits = 0;
    for (; i < text.size() && text[i].isDigit(); ++i, ++digits) {
        if (whole > (std::numeric_limits<qint64>::max() / 1000))
            return std::nullopt;
        whole = whole * 10 + text[i].digitValue();
    }
    int frac[3] = {0, 0, 0};
    if (i < text.size() && text[i] == u'.') {
        ++i;
        for (int k = 0; i < text.size() && text[i].isDigit(); ++i, ++k, ++digits) {
            if (k < 3)
                frac[k] = text[i].digitValue(); // later digits cannot change the rounding
        }
    }
    if (digits == 0 || i != text.size())
        return std::nullopt;
    qint64 cents = whole * 100 + frac[0] * 10 + frac[1];
    // Half away from zero on the third decimal (the sign is applied afterwards).
    if (frac[2] >= 5)
        ++cents;
    return negative ? -cents : cents;
}

std::optional<qint64> centsFromSql(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong: return value.toLongLong() * 100;
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (!std::isfinite(d))
            return std::nullopt;
        return qint64(std::llround(d * 100.0)); // llround rounds half away from zero
    }
    default: return centsFromText(value.toString());
    }
}

} // namespace kpr::appserver
