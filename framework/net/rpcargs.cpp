#include "framework/net/rpcargs.h"

#include "framework/core/dates.h"

#include <QLocale>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

QJsonValue rpcArg(const QString &text)
{
    return QJsonValue(text);
}

QJsonValue rpcArg(const QDate &date)
{
    if (!date.isValid())
        return QJsonValue(QJsonValue::Null);
    return QJsonValue(toDayNumber(date));
}

QJsonValue rpcArg(const QDateTime &dateTime)
{
    if (!dateTime.isValid())
        return QJsonValue(QJsonValue::Null);
    return QJsonValue(toDayNumber(dateTime));
}

QJsonValue rpcArg(double number)
{
    return QJsonValue(number);
}

QJsonValue rpcArg(const char16_t *text)
{
    return QJsonValue(QString::fromUtf16(text));
}

QDate rpcDate(const QJsonValue &value)
{
    if (!value.isDouble())
        return QDate();
    return dayNumberToDate(value.toDouble());
}

QString rpcText(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::String: return value.toString();
    case QJsonValue::Double: return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QJsonValue::Bool: return value.toBool() ? u"true"_s : u"false"_s;
    default: return QString();
    }
}

} // namespace kpr
