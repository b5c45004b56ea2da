#pragma once
// Values between SQL and the wire. The two databases hand the same column back in
// different shapes (a DATE is a QDate on PostgreSQL and ISO text on SQLite; a NUMERIC may
// come as text, double or integer): every read goes through these helpers, and every date
// that reaches SQL is made by dateParam.

#include <QDate>
#include <QJsonValue>
#include <QVariant>

#include <optional>

namespace kpr::appserver {

enum class Dialect { SQLite, PostgreSQL };

// A date as a bound value: ISO text "yyyy-MM-dd" on SQLite (how its DATE columns hold
// dates, so that they compare as text), a QDate on PostgreSQL.
QVariant dateParam(const QDate &date, Dialect dialect);

// The date of a DATE or TIMESTAMP column in either shape; invalid for NULL or junk.
QDate dateFromSql(const QVariant &value);

// A number column; nullopt for NULL or text that is not a number.
std::optional<double> doubleFromSql(const QVariant &value);

// A NUMERIC(.,2) money column as exact integer cents; text is read digit by digit, a
// binary double is rounded half away from zero. nullopt for NULL.
std::optional<qint64> centsFromSql(const QVariant &value);

// Exact cents of a decimal text ("12", "12.5", "-0.05", "1234.567" rounds to 1234.57).
std::optional<qint64> centsFromText(const QString &text);

} // namespace kpr::appserver
