#pragma once
// Arguments and results of remote methods as they travel: text as a JSON string, a date
// as its day number (a JSON number; the time of day, if any, as the fraction).

#include <QDate>
#include <QDateTime>
#include <QJsonValue>
#include <QString>

namespace kpr {

QJsonValue rpcArg(const QString &text);
QJsonValue rpcArg(const QDate &date);         // a day number without fraction
QJsonValue rpcArg(const QDateTime &dateTime); // wall-clock date and time
QJsonValue rpcArg(double number);
// Keeps string literals from choosing the bool constructor of QJsonValue.
QJsonValue rpcArg(const char16_t *text);

// A date read back from a day number; an invalid QDate when the value is no number.
QDate rpcDate(const QJsonValue &value);
// A result as the text the caller shows: a string as it is, a number in its shortest
// form, null as the empty text.
QString rpcText(const QJsonValue &value);

} // namespace kpr
